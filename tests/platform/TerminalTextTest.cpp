#include <gtest/gtest.h>

#include <string>

#include "platform/TerminalText.h"

namespace {

TEST(TerminalTextTest, EveryControlCharacterAndOnlyThoseBecomesAQuestionMark) {
    std::string ascii;
    std::string expected;
    for (int byte = 0; byte < 0x80; ++byte) {
        ascii += static_cast<char>(byte);
        expected += byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte);
    }
    EXPECT_EQ(TerminalSafeText(ascii), expected);
    // C1 controls, written in UTF-8 (U+009B CSI, U+009D OSC) or as lone bytes, become one '?'
    // each; other characters, their continuation bytes in the same range included, and lone
    // bytes that are no control stay.
    EXPECT_EQ(TerminalSafeText("a\xC2\x9B"
                               "2J b\xC2\x9D"
                               "0;x c\x9B"
                               "2J\x80\x9F"),
              "a?2J b?0;x c?2J??");
    EXPECT_EQ(TerminalSafeText(
                  "caf\xC3\xA9 \xC2\xA0 \xC4\x81 \xE2\x80\x9C \xF0\x9F\x98\x80 \xFF\xC3.ppt"),
              "caf\xC3\xA9 \xC2\xA0 \xC4\x81 \xE2\x80\x9C \xF0\x9F\x98\x80 \xFF\xC3.ppt");
}

}  // namespace
