#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cfb/DirectoryEntry.h"
#include "cfb/EntryName.h"

namespace cfb {

// The directory of a file being written: a tree of entries that grows and loses elements while
// the file is written, laid out as the format's directory at the end.
class DirectoryBuilder {
public:
    static constexpr std::uint32_t kRoot = 0;

    DirectoryBuilder();

    // Adds a child entry (a Stream or a Storage) to a storage. The name must be free.
    std::uint32_t add(std::uint32_t parent, const std::u16string& name, EntryType type);

    // The child of `parent` whose name equals `name` in format order.
    std::optional<std::uint32_t> find(std::uint32_t parent, const std::u16string& name) const;

    // Takes an entry and everything below it out of the tree; `release` is called for each
    // stream that goes.
    void remove(std::uint32_t id, const std::function<void(const DirectoryEntry&)>& release);

    DirectoryEntry& entry(std::uint32_t id) { return nodes_[id].entry; }
    const DirectoryEntry& entry(std::uint32_t id) const { return nodes_[id].entry; }
    bool isLive(std::uint32_t id) const { return nodes_[id].live; }
    std::uint32_t parent(std::uint32_t id) const { return nodes_[id].parent; }

    // The directory's bytes: the live entries, the root first, each storage's children linked as
    // a red-black tree in format order, padded with unused entries to whole sectors.
    std::vector<std::uint8_t> serialize(std::uint32_t sectorSize) const;

private:
    struct NameLess {
        bool operator()(const std::u16string& a, const std::u16string& b) const {
            return EntryName::compare(a, b) < 0;
        }
    };
    struct Node {
        DirectoryEntry entry;
        std::uint32_t parent = kNoEntry;
        bool live = true;
        std::map<std::u16string, std::uint32_t, NameLess> children;
    };

    std::vector<Node> nodes_;
};

}  // namespace cfb
