#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cfb/AllocationTable.h"
#include "cfb/SectorChain.h"
#include "cfb/SectorReader.h"

namespace cfb {

class DirectoryEntry;
class SectorClaims;

// The mini stream of a file being read (the root entry's chain, cut into 64-byte mini sectors)
// and the mini FAT that chains its mini sectors into the small streams.
class MiniStream {
public:
    // Loads the mini FAT and the mini stream's chain, claiming their sectors in `claims`.
    static MiniStream load(SectorReader& reader, const AllocationTable& fat,
                           const DirectoryEntry& root, SectorClaims& claims);

    const AllocationTable& table() const { return table_; }
    std::uint64_t size() const { return size_; }

    // Like SectorReader::locate, for a chain of mini sectors.
    SectorReader::Extent locate(const SectorReader& reader, const SectorChain& miniChain,
                                std::uint64_t position) const;

private:
    MiniStream(AllocationTable table, SectorChain container, std::uint64_t size)
        : table_(std::move(table)), container_(std::move(container)), size_(size) {}

    AllocationTable table_;
    SectorChain container_;
    std::uint64_t size_;
};

}  // namespace cfb
