#include "cfb/RootStreamProbe.h"

#include <vector>

#include "cfb/DirectoryEntry.h"
#include "cfb/EntryName.h"
#include "cfb/Error.h"
#include "cfb/Header.h"
#include "streams/LittleEndian.h"

namespace cfb {

namespace {

using Presence = RootStreamProbe::Presence;

// The directory sectors reachable in the prefix, in chain order; empty when the chain leaves it.
std::vector<std::uint32_t> directoryChain(const Header& header, const std::uint8_t* prefix,
                                          std::size_t size) {
    const std::uint32_t shift = header.sectorShift();
    const std::uint32_t entriesPerFatSector = header.sectorSize() / 4;
    const std::size_t limit = size >> shift;  // more sectors than that cannot lie in the prefix
    std::vector<std::uint32_t> chain;
    for (std::uint32_t sector = header.firstDirectorySector; sector != kEndOfChain;) {
        if (sector > kMaxRegularSector || chain.size() >= limit ||
            header.sectorOffset(sector) + header.sectorSize() > size) {
            return {};
        }
        chain.push_back(sector);
        const std::uint32_t fatIndex = sector / entriesPerFatSector;
        if (fatIndex >= kHeaderDifatCount) {
            return {};
        }
        const std::uint32_t fatSector = header.difat[fatIndex];
        if (fatSector > kMaxRegularSector ||
            header.sectorOffset(fatSector) + header.sectorSize() > size) {
            return {};
        }
        sector = LittleEndian::readU32(prefix + header.sectorOffset(fatSector) +
                                       4 * (sector % entriesPerFatSector));
    }
    return chain;
}

}  // namespace

Presence RootStreamProbe::probe(const std::uint8_t* prefix, std::size_t size,
                                const std::u16string& name) {
    if (size < kHeaderSize) {
        return Presence::Unknown;
    }
    if (!Header::hasSignature(prefix)) {
        return Presence::Absent;
    }
    Header header;
    try {
        header = Header::parse(prefix);
    } catch (const Error&) {
        return Presence::Absent;  // a header the format does not allow: the file cannot open
    }
    const std::vector<std::uint32_t> chain = directoryChain(header, prefix, size);
    const std::uint32_t perSector = header.sectorSize() / kDirectoryEntrySize;
    auto entryAt = [&](std::uint32_t id) -> const std::uint8_t* {
        if (id / perSector >= chain.size()) {
            return nullptr;
        }
        return prefix + header.sectorOffset(chain[id / perSector]) +
               (id % perSector) * kDirectoryEntrySize;
    };
    try {
        const std::uint8_t* root = entryAt(0);
        if (root == nullptr) {
            return Presence::Unknown;
        }
        // The root's children, through the sibling links from its child link; each entry is met
        // at most once, so the walk ends on forged links too.
        std::vector<std::uint32_t> pending{DirectoryEntry::parse(root, header.version(), 0).child};
        std::vector<bool> seen(chain.size() * perSector, false);
        while (!pending.empty()) {
            const std::uint32_t id = pending.back();
            pending.pop_back();
            if (id == kNoEntry) {
                continue;
            }
            const std::uint8_t* bytes = entryAt(id);
            if (bytes == nullptr || seen[id]) {
                return Presence::Unknown;
            }
            seen[id] = true;
            const DirectoryEntry entry = DirectoryEntry::parse(bytes, header.version(), id);
            if (EntryName::compare(entry.name, name) == 0) {
                return Presence::Present;
            }
            pending.push_back(entry.left);
            pending.push_back(entry.right);
        }
    } catch (const Error&) {
        return Presence::Unknown;
    }
    return Presence::Absent;
}

}  // namespace cfb
