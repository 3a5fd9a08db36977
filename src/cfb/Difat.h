#pragma once

#include <cstdint>
#include <vector>

#include "cfb/AllocationTable.h"

namespace cfb {

class Header;
class SectorClaims;
class SectorReader;

// The list of FAT sectors: the first 109 in the header, the rest in a chain of DIFAT sectors.
class Difat {
public:
    // Reads the FAT of a file through its DIFAT. Every DIFAT and FAT sector is checked to lie in
    // the file and claimed in `claims`; counts are checked against the file's size before
    // anything is allocated from them.
    static AllocationTable loadFat(SectorReader& reader, SectorClaims& claims);

    // How many DIFAT sectors a file with `fatSectors` FAT sectors needs.
    static std::uint32_t sectorsNeeded(std::uint64_t fatSectors, std::uint32_t sectorSize);

    // Fills the header's DIFAT fields and the content of the DIFAT sectors `difatIds` (as many as
    // sectorsNeeded() asks for) so that they list the FAT sectors `fatIds`.
    static void layout(Header& header, const std::vector<std::uint32_t>& fatIds,
                       const std::vector<std::uint32_t>& difatIds,
                       std::vector<std::uint8_t>* difatBytes);

private:
    static std::vector<std::uint32_t> fatSectors(SectorReader& reader, SectorClaims& claims);
};

}  // namespace cfb
