#pragma once

#include <array>
#include <cstdint>

#include "cfb/Format.h"

namespace cfb {

// The 512-byte header at the start of a compound file.
class Header {
public:
    static constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

    // A header for a new, empty file of the given version.
    explicit Header(Version version = Version::V3);

    // True when the first bytes of a file are the compound file signature.
    static bool hasSignature(const std::uint8_t* bytes);

    // Reads and checks the fields of a header that has the signature. Throws Error(Corrupt) for
    // a byte order, version, sector size, mini sector size or cutoff the format does not allow.
    static Header parse(const std::uint8_t* bytes);

    // Writes the header's 512 bytes.
    void serialize(std::uint8_t* bytes) const;

    Version version() const { return version_; }
    std::uint32_t sectorShift() const { return version_ == Version::V3 ? 9 : 12; }
    std::uint32_t sectorSize() const { return 1u << sectorShift(); }
    // Bytes before sector 0: the header, padded to a whole sector.
    std::uint32_t headerSpan() const { return sectorSize(); }
    std::uint64_t sectorOffset(std::uint32_t sector) const {
        return (static_cast<std::uint64_t>(sector) + 1) << sectorShift();
    }

    std::uint32_t directorySectorCount = 0;
    std::uint32_t fatSectorCount = 0;
    std::uint32_t firstDirectorySector = kEndOfChain;
    std::uint32_t firstMiniFatSector = kEndOfChain;
    std::uint32_t miniFatSectorCount = 0;
    std::uint32_t firstDifatSector = kEndOfChain;
    std::uint32_t difatSectorCount = 0;
    // The first FAT sector ids; unused slots hold kFreeSector.
    std::array<std::uint32_t, kHeaderDifatCount> difat;

private:
    Version version_;
};

}  // namespace cfb
