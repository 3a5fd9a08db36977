#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cfb/FatBuilder.h"

class ReadableFile;

namespace cfb {

class OutputFile;

// Writes one stream of a compound file being written, sequentially. Up to the mini stream cutoff
// the bytes wait in memory: a stream closed below it goes into the mini stream, one that grows
// past it goes to regular sectors at the end of the file, and keeps at most a few sectors in
// memory from then on. Closing (or destroying) the writer completes the stream; a writer still
// open at commit is closed by the commit. Handles may outlive their CompoundFileWriter; writing
// through one then, or after the commit, throws Error(InvalidState).
class StreamWriter {
public:
    StreamWriter(std::weak_ptr<OutputFile> out, std::uint32_t entry, std::string owner);
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;
    // Closes the stream; a failure is remembered by the file, whose commit then fails.
    ~StreamWriter();

    void write(const std::uint8_t* data, std::size_t count);

    // Declares that the stream will reach the mini stream cutoff, so its data goes to regular
    // sectors from the first byte on (a copy of a large stream knows this in advance).
    void expectLarge() { regular_ = true; }

    // Appends `count` bytes of `source` from `offset` on; whole sectors are copied in the kernel.
    void copyFrom(ReadableFile& source, std::uint64_t offset, std::uint64_t count);

    // Completes the stream: its data, start and size go to the file. Further writes throw.
    void close();

    std::uint64_t size() const { return size_; }
    std::uint32_t entry() const { return entry_; }

private:
    std::shared_ptr<OutputFile> file() const;
    void spill(OutputFile& out);
    void flushWhole(OutputFile& out);

    std::weak_ptr<OutputFile> out_;
    std::uint32_t entry_;
    std::string owner_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t size_ = 0;
    bool regular_ = false;  // past the cutoff: the data lives in regular sectors
    bool closed_ = false;
    FatBuilder::Tail tail_;
};

}  // namespace cfb
