#include "cfb/Difat.h"

#include <string>

#include "cfb/Error.h"
#include "cfb/Header.h"
#include "cfb/SectorChain.h"
#include "cfb/SectorClaims.h"
#include "cfb/SectorReader.h"
#include "streams/LittleEndian.h"

namespace cfb {

namespace {

void claimFatSector(std::uint32_t sector, std::uint64_t index, std::uint64_t sectorCount,
                    SectorClaims& claims) {
    const std::string which =
        "FAT sector " + std::to_string(index) + " (sector " + std::to_string(sector) + ")";
    if (sector > kMaxRegularSector || sector >= sectorCount) {
        throw Error(ErrorKind::Corrupt, "the DIFAT lists " + which + ", which is not in the file");
    }
    if (!claims.claim(sector)) {
        throw Error(ErrorKind::Corrupt, "the DIFAT lists " + which + ", which is used twice");
    }
}

}  // namespace

std::vector<std::uint32_t> Difat::fatSectors(SectorReader& reader, SectorClaims& claims) {
    const Header& header = reader.header();
    const std::uint64_t sectorCount = reader.sectorCount();
    if (header.fatSectorCount > sectorCount) {
        throw Error(ErrorKind::Corrupt, "header: " + std::to_string(header.fatSectorCount) +
                                            " FAT sectors, but the file holds only " +
                                            std::to_string(sectorCount) + " sectors");
    }
    std::vector<std::uint32_t> sectors;
    sectors.reserve(header.fatSectorCount);
    for (std::uint32_t i = 0; i < kHeaderDifatCount && sectors.size() < header.fatSectorCount;
         ++i) {
        claimFatSector(header.difat[i], sectors.size(), sectorCount, claims);
        sectors.push_back(header.difat[i]);
    }
    const std::uint32_t idsPerSector = header.sectorSize() / 4 - 1;
    std::vector<std::uint8_t> block(header.sectorSize());
    std::uint32_t difatSector = header.firstDifatSector;
    std::uint64_t difatIndex = 0;
    while (sectors.size() < header.fatSectorCount) {
        const std::string which = "DIFAT sector " + std::to_string(difatIndex);
        if (difatSector > kMaxRegularSector || difatSector >= sectorCount) {
            throw Error(ErrorKind::Corrupt,
                        "the DIFAT ends after " + std::to_string(sectors.size()) + " of " +
                            std::to_string(header.fatSectorCount) + " FAT sectors: " + which +
                            " would be sector " + std::to_string(difatSector));
        }
        if (!claims.claim(difatSector)) {
            throw Error(ErrorKind::Corrupt, "the DIFAT chain loops or meets another chain at " +
                                                which + " (sector " + std::to_string(difatSector) +
                                                ")");
        }
        reader.read(header.sectorOffset(difatSector), block.data(), block.size(), which);
        for (std::uint32_t i = 0; i < idsPerSector && sectors.size() < header.fatSectorCount; ++i) {
            const std::uint32_t sector = LittleEndian::readU32(block.data() + 4 * i);
            claimFatSector(sector, sectors.size(), sectorCount, claims);
            sectors.push_back(sector);
        }
        difatSector = LittleEndian::readU32(block.data() + 4 * idsPerSector);
        ++difatIndex;
    }
    return sectors;
}

AllocationTable Difat::loadFat(SectorReader& reader, SectorClaims& claims) {
    const std::vector<std::uint32_t> sectors = fatSectors(reader, claims);
    SectorChain chain;
    for (std::uint32_t sector : sectors) {
        chain.append(sector);
    }
    std::vector<std::uint32_t> entries = reader.readTable(chain, "the FAT");
    return AllocationTable(std::move(entries), reader.sectorCount(), "FAT", "sector");
}

std::uint32_t Difat::sectorsNeeded(std::uint64_t fatSectors, std::uint32_t sectorSize) {
    if (fatSectors <= kHeaderDifatCount) {
        return 0;
    }
    const std::uint64_t perSector = sectorSize / 4 - 1;
    return static_cast<std::uint32_t>((fatSectors - kHeaderDifatCount + perSector - 1) / perSector);
}

void Difat::layout(Header& header, const std::vector<std::uint32_t>& fatIds,
                   const std::vector<std::uint32_t>& difatIds,
                   std::vector<std::uint8_t>* difatBytes) {
    header.fatSectorCount = static_cast<std::uint32_t>(fatIds.size());
    header.difatSectorCount = static_cast<std::uint32_t>(difatIds.size());
    header.firstDifatSector = difatIds.empty() ? kEndOfChain : difatIds.front();
    header.difat.fill(kFreeSector);
    std::size_t next = 0;
    for (; next < fatIds.size() && next < kHeaderDifatCount; ++next) {
        header.difat[next] = fatIds[next];
    }
    const std::uint32_t sectorSize = header.sectorSize();
    const std::uint32_t perSector = sectorSize / 4 - 1;
    difatBytes->assign(difatIds.size() * sectorSize, 0xFF);
    for (std::size_t d = 0; d < difatIds.size(); ++d) {
        std::uint8_t* block = difatBytes->data() + d * sectorSize;
        for (std::uint32_t i = 0; i < perSector && next < fatIds.size(); ++i, ++next) {
            LittleEndian::writeU32(block + 4 * i, fatIds[next]);
        }
        LittleEndian::writeU32(block + 4 * perSector,
                               d + 1 < difatIds.size() ? difatIds[d + 1] : kEndOfChain);
    }
}

}  // namespace cfb
