#pragma once

#include <string>
#include <string_view>

// How both programs show text on their console. A terminal acts on control characters, so a
// file name (or a message that quotes one) could break a line or send escape sequences to it;
// there every control character shows as '?', as ls shows it: the bytes 0x00 to 0x1F and 0x7F,
// the C1 controls U+0080 to U+009F written in UTF-8, and the bytes 0x80 to 0x9F that are not
// part of a UTF-8 sequence (which a terminal reading single bytes takes for C1 controls). A pipe
// or a file gets the exact bytes, so that scripts see the real names.

// The text with each control character replaced by '?'; every other byte unchanged.
std::string TerminalSafeText(std::string_view text);

// TerminalSafeText(text) when standard output (standard error) is a terminal, otherwise the
// text itself.
std::string StdoutText(std::string_view text);
std::string StderrText(std::string_view text);

// StdoutText for text of whole lines: the line feeds that end them are kept.
std::string StdoutLines(std::string_view text);
