#pragma once

#include <cstdint>

#include "streams/LittleEndian.h"

// The 8-byte header in front of every record: version (low 4 bits) and instance (high 12 bits)
// of verInstance, the record type and the body length.
struct RecordHeader {
    static constexpr std::size_t kSize = 8;

    std::uint16_t verInstance = 0;
    std::uint16_t type = 0;
    std::uint32_t length = 0;

    static RecordHeader parse(const std::uint8_t* bytes) {
        return {LittleEndian::readU16(bytes), LittleEndian::readU16(bytes + 2),
                LittleEndian::readU32(bytes + 4)};
    }
    void serialize(std::uint8_t* bytes) const {
        LittleEndian::writeU16(bytes, verInstance);
        LittleEndian::writeU16(bytes + 2, type);
        LittleEndian::writeU32(bytes + 4, length);
    }
};
