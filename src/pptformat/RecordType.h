#pragma once

#include <cstdint>

// Record types of the presentation format that this program looks at.
struct RecordType {
    static constexpr std::uint16_t kDocument = 0x03E8;
    static constexpr std::uint16_t kExObjList = 0x0409;
    static constexpr std::uint16_t kNeverContainer = 0x0428;  // an atom whatever its version
    static constexpr std::uint16_t kExOleObjAtom = 0x0FC3;
    static constexpr std::uint16_t kExEmbed = 0x0FCC;
    static constexpr std::uint16_t kUserEditAtom = 0x0FF5;
    static constexpr std::uint16_t kCurrentUserAtom = 0x0FF6;
    static constexpr std::uint16_t kExOleObjStg = 0x1011;
    static constexpr std::uint16_t kPersistDirectoryAtom = 0x1772;
    static constexpr std::uint16_t kShape = 0xF00A;
    static constexpr std::uint16_t kShapeProperties = 0xF00B;
    static constexpr std::uint16_t kSecondaryShapeProperties = 0xF121;
    static constexpr std::uint16_t kTertiaryShapeProperties = 0xF122;
};
