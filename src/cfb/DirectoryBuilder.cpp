#include "cfb/DirectoryBuilder.h"

#include "cfb/TreeLayout.h"

namespace cfb {

DirectoryBuilder::DirectoryBuilder() {
    Node root;
    root.entry.name = u"Root Entry";
    root.entry.type = EntryType::Root;
    nodes_.push_back(std::move(root));
}

std::uint32_t DirectoryBuilder::add(std::uint32_t parent, const std::u16string& name,
                                    EntryType type) {
    const auto id = static_cast<std::uint32_t>(nodes_.size());
    Node node;
    node.entry.name = name;
    node.entry.type = type;
    node.parent = parent;
    nodes_.push_back(std::move(node));
    nodes_[parent].children.emplace(name, id);
    return id;
}

std::optional<std::uint32_t> DirectoryBuilder::find(std::uint32_t parent,
                                                    const std::u16string& name) const {
    const auto& children = nodes_[parent].children;
    const auto found = children.find(name);
    if (found == children.end()) {
        return std::nullopt;
    }
    return found->second;
}

void DirectoryBuilder::remove(std::uint32_t id,
                              const std::function<void(const DirectoryEntry&)>& release) {
    nodes_[nodes_[id].parent].children.erase(nodes_[id].entry.name);
    std::vector<std::uint32_t> pending{id};
    while (!pending.empty()) {
        Node& node = nodes_[pending.back()];
        pending.pop_back();
        node.live = false;
        if (node.entry.isStream()) {
            release(node.entry);
        }
        for (const auto& child : node.children) {
            pending.push_back(child.second);
        }
        node.children.clear();
    }
}

std::vector<std::uint8_t> DirectoryBuilder::serialize(std::uint32_t sectorSize) const {
    // Final ids: the live entries in breadth-first order, so the root is entry 0.
    std::vector<std::uint32_t> order{kRoot};
    std::vector<std::uint32_t> finalId(nodes_.size(), kNoEntry);
    finalId[kRoot] = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        for (const auto& child : nodes_[order[i]].children) {
            finalId[child.second] = static_cast<std::uint32_t>(order.size());
            order.push_back(child.second);
        }
    }
    std::vector<DirectoryEntry> entries;
    entries.reserve(order.size());
    for (std::uint32_t id : order) {
        entries.push_back(nodes_[id].entry);
        DirectoryEntry& entry = entries.back();
        entry.left = entry.right = entry.child = kNoEntry;
        entry.colour = DirectoryEntry::Colour::Black;
    }
    std::vector<TreeLayout::Node> layout;
    std::vector<std::uint32_t> sorted;
    for (std::uint32_t id : order) {
        sorted.clear();
        for (const auto& child : nodes_[id].children) {
            sorted.push_back(finalId[child.second]);
        }
        const std::uint32_t top = TreeLayout::build(sorted.size(), &layout);
        if (top == TreeLayout::kNone) {
            continue;
        }
        entries[finalId[id]].child = sorted[top];
        for (std::size_t k = 0; k < sorted.size(); ++k) {
            DirectoryEntry& entry = entries[sorted[k]];
            entry.left = layout[k].left == TreeLayout::kNone ? kNoEntry : sorted[layout[k].left];
            entry.right = layout[k].right == TreeLayout::kNone ? kNoEntry : sorted[layout[k].right];
            entry.colour =
                layout[k].red ? DirectoryEntry::Colour::Red : DirectoryEntry::Colour::Black;
        }
    }
    const std::size_t perSector = sectorSize / kDirectoryEntrySize;
    const std::size_t slots = (entries.size() + perSector - 1) / perSector * perSector;
    std::vector<std::uint8_t> bytes(slots * kDirectoryEntrySize);
    const DirectoryEntry unused;
    for (std::size_t i = 0; i < slots; ++i) {
        (i < entries.size() ? entries[i] : unused)
            .serialize(bytes.data() + i * kDirectoryEntrySize);
    }
    return bytes;
}

}  // namespace cfb
