#include "cfb/Directory.h"

#include <algorithm>

#include "cfb/AllocationTable.h"
#include "cfb/EntryName.h"
#include "cfb/Error.h"
#include "cfb/Header.h"
#include "cfb/SectorChain.h"
#include "cfb/SectorReader.h"

namespace cfb {

namespace {

Error directoryError(const std::string& what) {
    return Error(ErrorKind::Corrupt, what);
}

}  // namespace

Directory Directory::load(SectorReader& reader, const AllocationTable& fat, SectorClaims& claims) {
    const Header& header = reader.header();
    SectorChain chain;
    fat.walk(header.firstDirectorySector, "the directory", &claims, &chain, UINT64_MAX);
    if (chain.sectorCount() == 0) {
        throw directoryError("the directory is empty: the file has no root entry");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(chain.sectorCount()) *
                                    header.sectorSize());
    reader.readChain(chain, bytes.data(), "the directory");

    Directory directory;
    const std::size_t count = bytes.size() / kDirectoryEntrySize;
    directory.entries_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        directory.entries_.push_back(DirectoryEntry::parse(bytes.data() + i * kDirectoryEntrySize,
                                                           header.version(),
                                                           static_cast<std::uint32_t>(i)));
    }
    if (directory.entries_[kRoot].type != EntryType::Root) {
        throw directoryError("directory entry 0 is not the root entry");
    }
    directory.buildTree();
    return directory;
}

void Directory::buildTree() {
    spans_.assign(entries_.size(), Span{});
    reached_.assign(entries_.size(), false);
    reached_[kRoot] = true;
    std::vector<std::uint32_t> storages{kRoot};
    while (!storages.empty()) {
        const std::uint32_t storage = storages.back();
        storages.pop_back();
        collectChildren(storage, &storages);
    }
}

void Directory::collectChildren(std::uint32_t storage, std::vector<std::uint32_t>* storages) {
    const auto begin = static_cast<std::uint32_t>(childOrder_.size());
    // (entry that links, entry linked)
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pending{
        {storage, entries_[storage].child}};
    while (!pending.empty()) {
        const auto [from, id] = pending.back();
        pending.pop_back();
        if (id == kNoEntry) {
            continue;
        }
        if (id >= entries_.size()) {
            throw directoryError(describe(from) + " links to directory entry " +
                                 std::to_string(id) + ", beyond the " +
                                 std::to_string(entries_.size()) + " entries of the directory");
        }
        if (reached_[id]) {
            throw directoryError("directory entry " + std::to_string(id) +
                                 " is reached twice: the directory tree loops at " + describe(id));
        }
        reached_[id] = true;
        const DirectoryEntry& entry = entries_[id];
        if (entry.type != EntryType::Stream && entry.type != EntryType::Storage) {
            throw directoryError(describe(from) + " links to directory entry " +
                                 std::to_string(id) + ", which is " +
                                 (entry.type == EntryType::Root ? "a second root" : "unused"));
        }
        childOrder_.push_back(id);
        if (entry.type == EntryType::Storage) {
            storages->push_back(id);
        }
        pending.emplace_back(id, entry.left);
        pending.emplace_back(id, entry.right);
    }
    const auto first = childOrder_.begin() + begin;
    std::sort(first, childOrder_.end(), [this](std::uint32_t a, std::uint32_t b) {
        return EntryName::compare(entries_[a].name, entries_[b].name) < 0;
    });
    const auto twin =
        std::adjacent_find(first, childOrder_.end(), [this](std::uint32_t a, std::uint32_t b) {
            return EntryName::compare(entries_[a].name, entries_[b].name) == 0;
        });
    if (twin != childOrder_.end()) {
        throw directoryError("storage " + describe(storage) + " holds two entries named " +
                             EntryName::quoted(entries_[*twin].name));
    }
    spans_[storage] = Span{begin, static_cast<std::uint32_t>(childOrder_.size()) - begin};
}

std::vector<std::uint32_t> Directory::children(std::uint32_t storage) const {
    const Span span = spans_[storage];
    return std::vector<std::uint32_t>(childOrder_.begin() + span.begin,
                                      childOrder_.begin() + span.begin + span.count);
}

std::optional<std::uint32_t> Directory::find(std::uint32_t storage,
                                             const std::u16string& name) const {
    const Span span = spans_[storage];
    const auto first = childOrder_.begin() + span.begin;
    const auto last = first + span.count;
    const auto found =
        std::lower_bound(first, last, name, [this](std::uint32_t id, const std::u16string& key) {
            return EntryName::compare(entries_[id].name, key) < 0;
        });
    if (found == last || EntryName::compare(entries_[*found].name, name) != 0) {
        return std::nullopt;
    }
    return *found;
}

std::string Directory::describe(std::uint32_t id) const {
    return "entry " + EntryName::quoted(entries_[id].name);
}

}  // namespace cfb
