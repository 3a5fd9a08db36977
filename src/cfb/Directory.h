#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cfb/DirectoryEntry.h"

namespace cfb {

class AllocationTable;
class SectorClaims;
class SectorReader;

// The directory of a compound file being read: its entries and, for each storage, its children
// in name order. Loading checks the whole tree: links inside the directory, no entry reached
// twice (so no loops), only streams and storages below the root, and no two children of one
// storage with equal names.
class Directory {
public:
    static Directory load(SectorReader& reader, const AllocationTable& fat, SectorClaims& claims);

    static constexpr std::uint32_t kRoot = 0;

    const DirectoryEntry& entry(std::uint32_t id) const { return entries_[id]; }
    std::uint32_t entryCount() const { return static_cast<std::uint32_t>(entries_.size()); }

    // The children of a storage in format order (empty for a stream).
    std::vector<std::uint32_t> children(std::uint32_t storage) const;

    // The child of `storage` whose name compares equal to `name` in format order.
    std::optional<std::uint32_t> find(std::uint32_t storage, const std::u16string& name) const;

    // "entry 'name'" for messages.
    std::string describe(std::uint32_t id) const;

private:
    struct Span {
        std::uint32_t begin = 0;
        std::uint32_t count = 0;
    };

    void buildTree();
    void collectChildren(std::uint32_t storage, std::vector<std::uint32_t>* storages);

    std::vector<DirectoryEntry> entries_;
    std::vector<Span> spans_;  // per entry: its children in childOrder_
    std::vector<std::uint32_t> childOrder_;
    std::vector<bool> reached_;
};

}  // namespace cfb
