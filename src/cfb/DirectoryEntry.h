#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "cfb/Format.h"

namespace cfb {

// One 128-byte entry of the directory.
class DirectoryEntry {
public:
    using Clsid = std::array<std::uint8_t, 16>;
    enum class Colour : std::uint8_t { Red = 0, Black = 1 };

    // Reads an entry. In version 3 files the upper half of the stream size is ignored (some
    // writers leave junk there). Throws Error(Corrupt) for an unknown type or a name length that
    // the format does not allow; `index` names the entry in the message.
    static DirectoryEntry parse(const std::uint8_t* bytes, Version version, std::uint32_t index);

    // Writes the entry's 128 bytes; an Unused entry is written as the format asks (no links,
    // zeros elsewhere).
    void serialize(std::uint8_t* bytes) const;

    bool isStream() const { return type == EntryType::Stream; }
    bool isStorage() const { return type == EntryType::Storage || type == EntryType::Root; }

    std::u16string name;
    EntryType type = EntryType::Unused;
    Colour colour = Colour::Black;
    std::uint32_t left = kNoEntry;
    std::uint32_t right = kNoEntry;
    std::uint32_t child = kNoEntry;
    Clsid clsid{};
    std::uint32_t stateBits = 0;
    std::uint64_t creationTime = 0;
    std::uint64_t modificationTime = 0;
    std::uint32_t startSector = kEndOfChain;
    std::uint64_t size = 0;
};

}  // namespace cfb
