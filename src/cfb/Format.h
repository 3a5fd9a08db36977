#pragma once

#include <cstdint>

// Fixed numbers of the compound file format.
namespace cfb {

// Special values of FAT and mini FAT entries; smaller values link to the next sector.
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;

// "No entry" in directory links.
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;

constexpr std::uint32_t kHeaderSize = 512;
constexpr std::uint32_t kHeaderDifatCount = 109;
constexpr std::uint32_t kDirectoryEntrySize = 128;
constexpr std::uint32_t kMiniSectorShift = 6;
constexpr std::uint32_t kMiniSectorSize = 1u << kMiniSectorShift;
constexpr std::uint32_t kMiniStreamCutoff = 4096;
constexpr std::uint32_t kMaxNameLength = 31;  // UTF-16 code units, without the terminator

// Version 3 files stay below 2 GB; in larger version 4 files the sector covering these offsets
// is reserved for byte-range locks and never holds data.
constexpr std::uint64_t kRangeLockOffset = 0x7FFFFF00;

enum class Version : std::uint16_t { V3 = 3, V4 = 4 };

enum class EntryType : std::uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

}  // namespace cfb
