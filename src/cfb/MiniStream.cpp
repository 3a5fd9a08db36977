#include "cfb/MiniStream.h"

#include <algorithm>
#include <vector>

#include "cfb/DirectoryEntry.h"
#include "cfb/Error.h"
#include "cfb/Header.h"
#include "cfb/StreamChains.h"

namespace cfb {

MiniStream MiniStream::load(SectorReader& reader, const AllocationTable& fat,
                            const DirectoryEntry& root, SectorClaims& claims) {
    SectorChain container =
        StreamChains(reader, fat).regular(root.startSector, root.size, "the mini stream", &claims);

    SectorChain tableChain;
    fat.walk(reader.header().firstMiniFatSector, "the mini FAT", &claims, &tableChain, UINT64_MAX);
    std::vector<std::uint32_t> entries = reader.readTable(tableChain, "the mini FAT");
    const std::uint64_t miniSectors = (root.size + kMiniSectorSize - 1) >> kMiniSectorShift;
    return MiniStream(AllocationTable(std::move(entries), miniSectors, "mini FAT", "mini sector"),
                      std::move(container), root.size);
}

SectorReader::Extent MiniStream::locate(const SectorReader& reader, const SectorChain& miniChain,
                                        std::uint64_t position) const {
    const std::uint64_t within = position & (kMiniSectorSize - 1);
    const SectorChain::Location at = miniChain.locate(position >> kMiniSectorShift);
    const std::uint64_t miniOffset =
        (static_cast<std::uint64_t>(at.sector) << kMiniSectorShift) + within;
    const std::uint64_t miniRun =
        (static_cast<std::uint64_t>(at.runRemaining) << kMiniSectorShift) - within;
    const SectorReader::Extent extent = reader.locate(container_, miniOffset);
    return SectorReader::Extent{extent.fileOffset, std::min(extent.length, miniRun)};
}

}  // namespace cfb
