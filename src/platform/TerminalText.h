#pragma once

#include <string>
#include <string_view>

// How both programs show a path on standard output. A terminal acts on control characters, so
// a file name could break a line or send escape sequences to it; there every control character
// (the bytes 0x00 to 0x1F and 0x7F) shows as '?', as ls shows it. A pipe or a file gets the
// exact bytes, so that scripts see the real names.

// The text with each control character replaced by '?'; every other byte unchanged.
std::string TerminalSafeText(std::string_view text);

// TerminalSafeText(text) when standard output is a terminal, otherwise the text itself.
std::string StdoutText(std::string_view text);
