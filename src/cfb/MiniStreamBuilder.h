#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cfb/FatBuilder.h"

namespace cfb {

class OutputFile;

// The mini stream of a file being written. Small streams arrive whole, when they are closed, and
// are appended in consecutive mini sectors; the mini stream's own sectors are written as they
// fill. The mini FAT is therefore a list of ranges, laid out at commit.
class MiniStreamBuilder {
public:
    // Appends a small stream's bytes and returns its first mini sector (kEndOfChain for none).
    std::uint32_t append(OutputFile& out, const std::uint8_t* data, std::size_t count);

    // Frees the mini sectors of a stream that `append` placed at `first`.
    void release(std::uint32_t first);

    // Writes what is still buffered. The mini stream is complete afterwards.
    void flush(OutputFile& out);

    std::uint32_t firstSector() const { return container_.first; }
    std::uint64_t size() const { return std::uint64_t{miniSectors_} << kMiniSectorShift; }

    // The mini FAT's entries, padded with free entries to whole sectors.
    std::vector<std::uint8_t> table(std::uint32_t sectorSize) const;

private:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    struct Range {
        std::uint32_t first;
        std::uint32_t count;
        bool live;
    };

    FatBuilder::Tail container_;
    std::vector<std::uint8_t> buffer_;
    std::uint32_t miniSectors_ = 0;
    std::vector<Range> ranges_;  // in order of their first mini sector
};

}  // namespace cfb
