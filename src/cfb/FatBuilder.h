#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cfb/Format.h"

namespace cfb {

// The FAT of a file being written, kept as runs of sectors rather than one entry per sector:
// sectors are handed out at the end of the file as data arrives, so a stream written in large
// pieces costs one run, and memory follows the number of runs, not the size of the file.
class FatBuilder {
public:
    // Where a chain being written ends, so that new sectors can be linked to it.
    struct Tail {
        std::uint32_t first = kEndOfChain;  // the chain's first sector
        std::size_t lastRun = kNone;
    };
    // Consecutive sectors handed out by one allocation.
    struct Piece {
        std::uint32_t first;
        std::uint32_t count;
    };

    explicit FatBuilder(Version version);

    // Hands out up to `count` consecutive sectors at the end of the file and links them to the
    // end of the chain. Fewer come back only where the range lock sector of a version 4 file
    // interrupts them. Throws Error(TooLarge) beyond what the version allows.
    Piece append(Tail& tail, std::uint32_t count);

    // Like append(), for sectors outside any chain that hold `marker` (kFatSector, kDifatSector,
    // or kFreeSector for sectors left empty).
    Piece appendMarked(std::uint32_t count, std::uint32_t marker);

    // Marks every sector of the chain that starts at `first` free.
    void freeChain(std::uint32_t first);

    std::uint32_t sectorCount() const { return next_; }
    // Sectors that can still be handed out before the file reaches what its version allows.
    std::uint64_t room() const { return sectorLimit_ - next_; }

    // Writes the FAT entries `first` .. `first + count - 1` (free beyond the last sector).
    void fill(std::uint64_t first, std::uint32_t count, std::uint8_t* out) const;

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    struct Run {
        std::uint32_t first;
        std::uint32_t count;
        std::uint32_t next;    // chain runs: what the last sector links to
        std::uint32_t marker;  // 0 for a chain run; otherwise the value of every entry
    };

    Piece reserve(std::uint32_t count);
    std::size_t runAt(std::uint32_t sector) const;

    std::uint32_t lockSector_;   // kFreeSector when the version has none
    std::uint64_t sectorLimit_;  // sectors the version allows
    std::uint32_t next_ = 0;
    std::vector<Run> runs_;  // in order of their first sector
};

}  // namespace cfb
