#include "platform/TerminalText.h"

#include "platform/Console.h"

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0.
std::size_t SequenceLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                                                              : 0;
    if (length == 0 || text.size() < length) {
        return 0;
    }
    const auto second = static_cast<unsigned char>(text[1]);
    // The second byte's range excludes overlong forms, surrogates and code points past U+10FFFF.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if (next < 0x80 || next > 0xBF) {
            return 0;
        }
    }
    return length;
}

std::string SafeWhen(bool terminal, std::string_view text) {
    return terminal ? TerminalSafeText(text) : std::string(text);
}

}  // namespace

std::string TerminalSafeText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text[0]);
        const std::size_t length = byte < 0x80 ? 1 : SequenceLength(text);
        const bool c1 =
            (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) ||
            (length == 0 && byte < 0xA0);
        if (byte < 0x20 || byte == 0x7F || c1) {
            shown += '?';
        } else {
            shown.append(text.substr(0, length == 0 ? 1 : length));
        }
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return shown;
}

std::string StdoutText(std::string_view text) {
    return SafeWhen(StdoutIsTerminal(), text);
}

std::string StderrText(std::string_view text) {
    return SafeWhen(StderrIsTerminal(), text);
}

std::string StdoutLines(std::string_view text) {
    std::string shown;
    for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;) {
        shown += StdoutText(text.substr(0, end)) + '\n';
        text.remove_prefix(end + 1);
    }
    return shown + StdoutText(text);
}
