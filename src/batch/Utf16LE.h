#pragma once

#include <string>
#include <string_view>

// Converts UTF-8 text to UTF-16LE bytes. Each maximal ill-formed part of the input (a stray or
// truncated sequence, an overlong form, a surrogate, a value above U+10FFFF) becomes one U+FFFD,
// and so does each control character (U+0000 to U+001F and U+007F, line ends included): the text
// can then never hold more than one line, nor anything a terminal would act on.
std::string ToUtf16LE(std::string_view utf8);
