#pragma once

#include <cstdint>
#include <set>
#include <vector>

namespace cfb {

// Which sectors some structure of the file already uses. Walking every chain of a file through
// one SectorClaims finds loops and sectors shared by two chains in time linear in the file's
// size. One bit for each sector the FAT can describe; the few sectors beyond (only FAT and DIFAT
// sectors can lie there) are kept apart, so the memory follows what the file's structures cover,
// not its length: a sparse file may be terabytes long.
class SectorClaims {
public:
    explicit SectorClaims(std::uint64_t coveredSectors) : claimed_(coveredSectors, false) {}

    // Marks the sector as used; false when it already was.
    bool claim(std::uint32_t sector) {
        if (sector >= claimed_.size()) {
            return beyond_.insert(sector).second;
        }
        if (claimed_[sector]) {
            return false;
        }
        claimed_[sector] = true;
        return true;
    }

private:
    std::vector<bool> claimed_;
    std::set<std::uint32_t> beyond_;
};

}  // namespace cfb
