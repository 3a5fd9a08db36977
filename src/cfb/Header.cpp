#include "cfb/Header.h"

#include <cstring>
#include <string>

#include "cfb/Error.h"
#include "streams/LittleEndian.h"

namespace cfb {

namespace {

constexpr std::uint16_t kMinorVersion = 0x003E;
constexpr std::uint16_t kByteOrderMark = 0xFFFE;

Error headerError(const std::string& what) {
    return Error(ErrorKind::Corrupt, "header: " + what);
}

}  // namespace

Header::Header(Version version) : version_(version) {
    difat.fill(kFreeSector);
}

bool Header::hasSignature(const std::uint8_t* bytes) {
    return std::memcmp(bytes, kSignature, sizeof kSignature) == 0;
}

Header Header::parse(const std::uint8_t* bytes) {
    const std::uint16_t byteOrder = LittleEndian::readU16(bytes + 28);
    if (byteOrder != kByteOrderMark) {
        throw headerError("byte order mark is " + std::to_string(byteOrder) + ", not 65534");
    }
    const std::uint16_t major = LittleEndian::readU16(bytes + 26);
    const std::uint16_t shift = LittleEndian::readU16(bytes + 30);
    Header header;
    if (major == 3 && shift == 9) {
        header.version_ = Version::V3;
    } else if (major == 4 && shift == 12) {
        header.version_ = Version::V4;
    } else {
        throw headerError("version " + std::to_string(major) + " with sector shift " +
                          std::to_string(shift) + " is not a known format");
    }
    if (LittleEndian::readU16(bytes + 32) != kMiniSectorShift) {
        throw headerError("mini sector shift is " +
                          std::to_string(LittleEndian::readU16(bytes + 32)) + ", not 6");
    }
    if (LittleEndian::readU32(bytes + 56) != kMiniStreamCutoff) {
        throw headerError("mini stream cutoff is " +
                          std::to_string(LittleEndian::readU32(bytes + 56)) + ", not 4096");
    }
    // Version 3 readers ignore the directory sector count; some writers leave junk there.
    header.directorySectorCount =
        header.version_ == Version::V3 ? 0 : LittleEndian::readU32(bytes + 40);
    header.fatSectorCount = LittleEndian::readU32(bytes + 44);
    header.firstDirectorySector = LittleEndian::readU32(bytes + 48);
    header.firstMiniFatSector = LittleEndian::readU32(bytes + 60);
    header.miniFatSectorCount = LittleEndian::readU32(bytes + 64);
    header.firstDifatSector = LittleEndian::readU32(bytes + 68);
    header.difatSectorCount = LittleEndian::readU32(bytes + 72);
    for (std::uint32_t i = 0; i < kHeaderDifatCount; ++i) {
        header.difat[i] = LittleEndian::readU32(bytes + 76 + 4 * i);
    }
    return header;
}

void Header::serialize(std::uint8_t* bytes) const {
    std::memset(bytes, 0, kHeaderSize);
    std::memcpy(bytes, kSignature, sizeof kSignature);
    LittleEndian::writeU16(bytes + 24, kMinorVersion);
    LittleEndian::writeU16(bytes + 26, static_cast<std::uint16_t>(version_));
    LittleEndian::writeU16(bytes + 28, kByteOrderMark);
    LittleEndian::writeU16(bytes + 30, static_cast<std::uint16_t>(sectorShift()));
    LittleEndian::writeU16(bytes + 32, kMiniSectorShift);
    LittleEndian::writeU32(bytes + 40, version_ == Version::V3 ? 0 : directorySectorCount);
    LittleEndian::writeU32(bytes + 44, fatSectorCount);
    LittleEndian::writeU32(bytes + 48, firstDirectorySector);
    LittleEndian::writeU32(bytes + 56, kMiniStreamCutoff);
    LittleEndian::writeU32(bytes + 60, firstMiniFatSector);
    LittleEndian::writeU32(bytes + 64, miniFatSectorCount);
    LittleEndian::writeU32(bytes + 68, firstDifatSector);
    LittleEndian::writeU32(bytes + 72, difatSectorCount);
    for (std::uint32_t i = 0; i < kHeaderDifatCount; ++i) {
        LittleEndian::writeU32(bytes + 76 + 4 * i, difat[i]);
    }
}

}  // namespace cfb
