#include "batch/Utf16LE.h"

#include <cstdint>

#include "streams/LittleEndian.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUnit(std::string& out, char32_t unit) {
    std::uint8_t bytes[2];
    LittleEndian::writeU16(bytes, static_cast<std::uint16_t>(unit));
    out.append(reinterpret_cast<const char*>(bytes), 2);
}

void AppendCodePoint(std::string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        AppendUnit(out, codePoint);
        return;
    }
    codePoint -= 0x10000;
    AppendUnit(out, 0xD800 + (codePoint >> 10));
    AppendUnit(out, 0xDC00 + (codePoint & 0x3FF));
}

// Decodes the sequence that starts at text[*position] and moves the position past it. An
// ill-formed sequence gives kReplacement and stops at the first byte that can't continue it.
char32_t DecodeOne(std::string_view text, std::size_t* position) {
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byteAt((*position)++);
    if (lead < 0x80) {
        return lead;
    }
    int continuations = 0;
    char32_t value = 0;
    unsigned char low = 0x80;  // the allowed range of the first continuation byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        value = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        value = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;   // no overlong forms
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return kReplacement;
    }
    for (int i = 0; i < continuations; ++i, low = 0x80, high = 0xBF) {
        if (*position == text.size() || byteAt(*position) < low || byteAt(*position) > high) {
            return kReplacement;
        }
        value = (value << 6) | (byteAt((*position)++) & 0x3F);
    }
    return value;
}

}  // namespace

std::string ToUtf16LE(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() * 2);
    std::size_t position = 0;
    while (position < utf8.size()) {
        const char32_t codePoint = DecodeOne(utf8, &position);
        AppendCodePoint(out, codePoint < 0x20 || codePoint == 0x7F ? kReplacement : codePoint);
    }
    return out;
}
