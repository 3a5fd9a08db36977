#pragma once

#include <cstdint>
#include <vector>

namespace cfb {

// One bit per sector: which sectors some structure of the file already uses. Walking every
// chain of a file through one SectorClaims finds loops and sectors shared by two chains in time
// linear in the file's size.
class SectorClaims {
public:
    explicit SectorClaims(std::uint64_t sectorCount) : claimed_(sectorCount, false) {}

    // Marks the sector as used; false when it already was.
    bool claim(std::uint32_t sector) {
        if (claimed_[sector]) {
            return false;
        }
        claimed_[sector] = true;
        return true;
    }

private:
    std::vector<bool> claimed_;
};

}  // namespace cfb
