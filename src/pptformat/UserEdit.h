#pragma once

#include <array>
#include <cstdint>

#include "streams/LittleEndian.h"

// The 28 body bytes of a user edit atom that are read and written back.
class UserEdit {
public:
    static constexpr std::size_t kSize = 28;

    std::array<std::uint8_t, kSize>& bytes() { return bytes_; }
    const std::array<std::uint8_t, kSize>& bytes() const { return bytes_; }

    std::uint32_t offsetLastEdit() const { return get(kOffsetLastEdit); }
    std::uint32_t offsetPersistDirectory() const { return get(kOffsetPersistDirectory); }
    std::uint32_t docPersistIdRef() const { return get(kDocPersistIdRef); }
    std::uint32_t persistIdSeed() const { return get(kPersistIdSeed); }

    void setOffsetLastEdit(std::uint32_t v) { set(kOffsetLastEdit, v); }
    void setOffsetPersistDirectory(std::uint32_t v) { set(kOffsetPersistDirectory, v); }
    void setDocPersistIdRef(std::uint32_t v) { set(kDocPersistIdRef, v); }
    void setPersistIdSeed(std::uint32_t v) { set(kPersistIdSeed, v); }

private:
    static constexpr std::size_t kOffsetLastEdit = 8;
    static constexpr std::size_t kOffsetPersistDirectory = 12;
    static constexpr std::size_t kDocPersistIdRef = 16;
    static constexpr std::size_t kPersistIdSeed = 20;

    std::uint32_t get(std::size_t at) const { return LittleEndian::readU32(bytes_.data() + at); }
    void set(std::size_t at, std::uint32_t v) { LittleEndian::writeU32(bytes_.data() + at, v); }

    std::array<std::uint8_t, kSize> bytes_{};
};
