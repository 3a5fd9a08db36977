#pragma once

#include <cstdint>

// The one place where multi-byte values of the file formats are read from and written to bytes.
// All formats this program handles are little-endian.
struct LittleEndian {
    static std::uint16_t readU16(const std::uint8_t* p) {
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    static std::uint32_t readU32(const std::uint8_t* p) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    static std::uint64_t readU64(const std::uint8_t* p) {
        return static_cast<std::uint64_t>(readU32(p)) |
               (static_cast<std::uint64_t>(readU32(p + 4)) << 32);
    }
    static void writeU16(std::uint8_t* p, std::uint16_t v) {
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
    static void writeU32(std::uint8_t* p, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            p[i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }
    static void writeU64(std::uint8_t* p, std::uint64_t v) {
        writeU32(p, static_cast<std::uint32_t>(v));
        writeU32(p + 4, static_cast<std::uint32_t>(v >> 32));
    }
};
