#include "cfb/StreamChains.h"

#include "cfb/AllocationTable.h"
#include "cfb/Error.h"
#include "cfb/Header.h"
#include "cfb/MiniStream.h"
#include "cfb/SectorReader.h"

namespace cfb {

namespace {

Error tooShort(const std::string& owner, std::uint64_t size, std::uint64_t length,
               const char* unit) {
    return Error(ErrorKind::Corrupt, owner + " is " + std::to_string(size) +
                                         " bytes long, but its chain holds only " +
                                         std::to_string(length) + " " + unit);
}

}  // namespace

SectorChain StreamChains::regular(std::uint32_t start, std::uint64_t size, const std::string& owner,
                                  SectorClaims* claims) const {
    if (size > reader_.fileSize()) {
        throw Error(ErrorKind::Corrupt, owner + " is " + std::to_string(size) +
                                            " bytes long, more than the whole file");
    }
    const Header& header = reader_.header();
    const std::uint64_t needed = (size + header.sectorSize() - 1) >> header.sectorShift();
    SectorChain chain;
    // An empty stream has no chain; what its start field holds does not matter.
    const std::uint64_t length = size == 0 ? 0 : fat_.walk(start, owner, claims, &chain, needed);
    if (length < needed) {
        throw tooShort(owner, size, length, "sectors");
    }
    if (needed == 0) {
        return chain;
    }
    // Only the file's last sector can be cut short, and only the stream's last sector may be it.
    const SectorReader::Extent last = reader_.locate(chain, size - 1);
    const std::uint64_t fileSize = reader_.fileSize();
    const bool lastSectorCut = ((fileSize - header.headerSpan()) & (header.sectorSize() - 1)) != 0;
    const auto cutSector = static_cast<std::uint32_t>(reader_.sectorCount() - 1);
    if (last.fileOffset >= fileSize || (lastSectorCut && chain.contains(cutSector) &&
                                        chain.locate(needed - 1).sector != cutSector)) {
        throw Error(ErrorKind::Corrupt, owner + " ends beyond the end of the file (" +
                                            std::to_string(fileSize) +
                                            " bytes): the file is truncated");
    }
    return chain;
}

SectorChain StreamChains::mini(const MiniStream& miniStream, std::uint32_t start,
                               std::uint64_t size, const std::string& owner,
                               SectorClaims* claims) const {
    const std::uint64_t needed = (size + kMiniSectorSize - 1) >> kMiniSectorShift;
    SectorChain chain;
    const std::uint64_t length =
        size == 0 ? 0 : miniStream.table().walk(start, owner, claims, &chain, needed);
    if (length < needed) {
        throw tooShort(owner, size, length, "mini sectors");
    }
    return chain;
}

}  // namespace cfb
