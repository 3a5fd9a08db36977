#pragma once

#include <string>
#include <string_view>

// Converts UTF-8 text to UTF-16LE bytes. Each maximal ill-formed part of the input (a stray or
// truncated sequence, an overlong form, a surrogate, a value above U+10FFFF) becomes one U+FFFD.
std::string ToUtf16LE(std::string_view utf8);
