#include "cfb/EntryName.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "cfb/Error.h"
#include "cfb/Format.h"

namespace cfb {

namespace {

struct UpperCaseRun {
    std::uint16_t first;
    std::uint16_t last;
    std::uint16_t stride;
    std::uint16_t offset;
};

constexpr UpperCaseRun kUpperCaseRuns[] = {
#include "cfb/UpperCaseTable.inc"
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

Error notUtf8(const std::string& text) {
    return Error(ErrorKind::InvalidName, "the name '" + text + "' is not valid UTF-8");
}

}  // namespace

char16_t EntryName::upperCase(char16_t unit) {
    const auto after =
        std::upper_bound(std::begin(kUpperCaseRuns), std::end(kUpperCaseRuns), unit,
                         [](char16_t value, const UpperCaseRun& run) { return value < run.first; });
    if (after == std::begin(kUpperCaseRuns)) {
        return unit;
    }
    const UpperCaseRun& run = *std::prev(after);
    if (unit > run.last || (unit - run.first) % run.stride != 0) {
        return unit;
    }
    return static_cast<char16_t>(unit + run.offset);
}

int EntryName::compare(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char16_t x = upperCase(a[i]);
        const char16_t y = upperCase(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return 0;
}

void EntryName::validate(const std::u16string& name) {
    if (name.empty() || name.size() > kMaxNameLength) {
        throw Error(ErrorKind::InvalidName, "the name " + quoted(name) + " has " +
                                                std::to_string(name.size()) +
                                                " characters; 1 to 31 are allowed");
    }
    for (char16_t unit : name) {
        if (unit == u'/' || unit == u'\\' || unit == u':' || unit == u'!' || unit == 0) {
            throw Error(ErrorKind::InvalidName,
                        "the name " + quoted(name) + " holds a character that names may not hold");
        }
    }
}

std::u16string EntryName::fromUtf8(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t c = 0;
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            length = 4;
            c = lead & 0x07;
        } else {
            throw notUtf8(text);
        }
        if (i + length > text.size()) {
            throw notUtf8(text);
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                throw notUtf8(text);
            }
            c = (c << 6) | (next & 0x3F);
        }
        const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
        if (overlong || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            throw notUtf8(text);
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

std::string EntryName::toUtf8(const std::u16string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] < 0xE000) {
            appendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                (name[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

}  // namespace cfb
