#include "cfb/DirectoryEntry.h"

#include <cstring>

#include "cfb/Error.h"
#include "streams/LittleEndian.h"

namespace cfb {

namespace {

Error entryError(std::uint32_t index, const std::string& what) {
    return Error(ErrorKind::Corrupt, "directory entry " + std::to_string(index) + " " + what);
}

}  // namespace

DirectoryEntry DirectoryEntry::parse(const std::uint8_t* bytes, Version version,
                                     std::uint32_t index) {
    DirectoryEntry entry;
    const std::uint8_t type = bytes[66];
    if (type != 0 && type != 1 && type != 2 && type != 5) {
        throw entryError(index, "has the unknown type " + std::to_string(type));
    }
    entry.type = static_cast<EntryType>(type);
    if (entry.type == EntryType::Unused) {
        return entry;
    }
    const std::uint16_t nameBytes = LittleEndian::readU16(bytes + 64);
    if (nameBytes < 2 || nameBytes > 64 || nameBytes % 2 != 0) {
        throw entryError(index, "has a name length of " + std::to_string(nameBytes) +
                                    " bytes; an even number from 2 to 64 is allowed");
    }
    for (std::uint16_t i = 0; i + 2 < nameBytes; i += 2) {
        entry.name += static_cast<char16_t>(LittleEndian::readU16(bytes + i));
    }
    entry.colour = bytes[67] == 0 ? Colour::Red : Colour::Black;
    entry.left = LittleEndian::readU32(bytes + 68);
    entry.right = LittleEndian::readU32(bytes + 72);
    entry.child = LittleEndian::readU32(bytes + 76);
    std::memcpy(entry.clsid.data(), bytes + 80, entry.clsid.size());
    entry.stateBits = LittleEndian::readU32(bytes + 96);
    entry.creationTime = LittleEndian::readU64(bytes + 100);
    entry.modificationTime = LittleEndian::readU64(bytes + 108);
    entry.startSector = LittleEndian::readU32(bytes + 116);
    entry.size = version == Version::V3 ? LittleEndian::readU32(bytes + 120)
                                        : LittleEndian::readU64(bytes + 120);
    return entry;
}

void DirectoryEntry::serialize(std::uint8_t* bytes) const {
    std::memset(bytes, 0, kDirectoryEntrySize);
    LittleEndian::writeU32(bytes + 68, kNoEntry);
    LittleEndian::writeU32(bytes + 72, kNoEntry);
    LittleEndian::writeU32(bytes + 76, kNoEntry);
    if (type == EntryType::Unused) {
        return;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        LittleEndian::writeU16(bytes + 2 * i, name[i]);
    }
    LittleEndian::writeU16(bytes + 64, static_cast<std::uint16_t>(2 * (name.size() + 1)));
    bytes[66] = static_cast<std::uint8_t>(type);
    bytes[67] = static_cast<std::uint8_t>(colour);
    LittleEndian::writeU32(bytes + 68, left);
    LittleEndian::writeU32(bytes + 72, right);
    LittleEndian::writeU32(bytes + 76, child);
    std::memcpy(bytes + 80, clsid.data(), clsid.size());
    LittleEndian::writeU32(bytes + 96, stateBits);
    LittleEndian::writeU64(bytes + 100, creationTime);
    LittleEndian::writeU64(bytes + 108, modificationTime);
    LittleEndian::writeU32(bytes + 116, startSector);
    LittleEndian::writeU64(bytes + 120, size);
}

}  // namespace cfb
