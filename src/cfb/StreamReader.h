#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "cfb/SectorChain.h"
#include "cfb/SectorReader.h"

namespace cfb {

class MiniStream;

// Reads one stream of a compound file. Keeps the file open on its own, so it may outlive the
// CompoundFileReader that opened it. Small reads are served from a read-ahead buffer; larger
// ones go straight to the caller's buffer, one system call per run of consecutive sectors.
class StreamReader {
public:
    // A stream in regular sectors (`miniStream` null) or in the mini stream.
    StreamReader(std::shared_ptr<SectorReader> reader, std::shared_ptr<const MiniStream> miniStream,
                 SectorChain chain, std::uint64_t size, std::string owner);

    // Reads up to `count` bytes at the position and moves past them; 0 at the end of the
    // stream. Throws Error when the file cannot be read.
    std::size_t read(std::uint8_t* buffer, std::size_t count);

    // Any position is allowed; reads beyond the end return 0.
    void seek(std::uint64_t position) { position_ = position; }
    std::uint64_t position() const { return position_; }
    std::uint64_t size() const { return size_; }

    // Where the stream's bytes from `position` on lie in the file, up to the end of their run
    // of consecutive bytes or of the stream. `position` is below size().
    SectorReader::Extent locate(std::uint64_t position) const;

    bool inMiniStream() const { return miniStream_ != nullptr; }
    SectorReader& sectorReader() { return *reader_; }

private:
    static constexpr std::size_t kBufferSize = 8192;

    std::shared_ptr<SectorReader> reader_;
    std::shared_ptr<const MiniStream> miniStream_;
    SectorChain chain_;
    std::uint64_t size_;
    std::string owner_;
    std::uint64_t position_ = 0;
    std::unique_ptr<std::array<std::uint8_t, kBufferSize>> buffer_;
    std::uint64_t bufferStart_ = 0;  // stream position of buffer_[0]
    std::size_t bufferLength_ = 0;
};

}  // namespace cfb
