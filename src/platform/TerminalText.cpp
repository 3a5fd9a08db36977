#include "platform/TerminalText.h"

#include "platform/Console.h"

std::string TerminalSafeText(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return shown;
}

std::string StdoutText(std::string_view text) {
    return StdoutIsTerminal() ? TerminalSafeText(text) : std::string(text);
}
