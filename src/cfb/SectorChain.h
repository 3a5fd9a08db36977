#pragma once

#include <cstdint>
#include <vector>

namespace cfb {

// A chain of sectors (or mini sectors) held as runs of consecutive ids, so that a stream written
// in one piece costs one run however long it is.
class SectorChain {
public:
    struct Run {
        std::uint32_t first;
        std::uint32_t count;
    };
    // The sector holding a position of the chain and how many sectors follow it consecutively
    // (itself included) before the run ends.
    struct Location {
        std::uint32_t sector;
        std::uint32_t runRemaining;
    };

    void append(std::uint32_t sector);
    std::uint64_t sectorCount() const { return count_; }
    const std::vector<Run>& runs() const { return runs_; }
    bool contains(std::uint32_t sector) const;

    // Where the chain's `index`-th sector is; index must be below sectorCount().
    Location locate(std::uint64_t index) const;

private:
    std::vector<Run> runs_;
    std::vector<std::uint64_t> runStarts_;  // chain index of each run's first sector
    std::uint64_t count_ = 0;
};

}  // namespace cfb
