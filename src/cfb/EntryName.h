#pragma once

#include <string>

namespace cfb {

// Names of directory entries: UTF-16 code units as stored in the file, compared the way the
// format orders them.
class EntryName {
public:
    // Format order: a shorter name first; names of equal length code unit by code unit after the
    // simple Unicode upper-case mapping. Negative, zero or positive.
    static int compare(const std::u16string& a, const std::u16string& b);

    static char16_t upperCase(char16_t unit);

    // Throws Error(InvalidName) unless the name has 1 to 31 code units and none of '/', '\\',
    // ':', '!' or NUL.
    static void validate(const std::u16string& name);

    // UTF-8 to UTF-16; throws Error(InvalidName) for bytes that are not UTF-8.
    static std::u16string fromUtf8(const std::string& text);

    // UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. For messages and listings: names
    // themselves stay UTF-16 everywhere else.
    static std::string toUtf8(const std::u16string& name);

    // "'<name>'" for error messages.
    static std::string quoted(const std::u16string& name) { return "'" + toUtf8(name) + "'"; }
};

}  // namespace cfb
