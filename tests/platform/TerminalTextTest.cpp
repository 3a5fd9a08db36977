#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

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
    EXPECT_EQ(TerminalSafeText("evil\n[fixed], \x1b]0;title\a.ppt"),
              "evil?[fixed], ?]0;title?.ppt");
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

// Points standard output at a descriptor for the life of the object.
class RedirectedStdout {
public:
    explicit RedirectedStdout(int fd) : saved_(::dup(STDOUT_FILENO)) { ::dup2(fd, STDOUT_FILENO); }
    RedirectedStdout(const RedirectedStdout&) = delete;
    RedirectedStdout& operator=(const RedirectedStdout&) = delete;
    ~RedirectedStdout() {
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }

private:
    int saved_;
};

TEST(TerminalTextTest, StdoutTextMakesTheTextSafeOnATerminalOnly) {
    const std::string name = "a\tb\x1b[2Jc.ppt";
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    {
        RedirectedStdout toTerminal(slave);
        EXPECT_EQ(StdoutText(name), "a?b?[2Jc.ppt");
        EXPECT_EQ(StdoutLines("one\x1b\ntwo\n"), "one?\ntwo\n");
    }
    {
        RedirectedStdout toPipe(pipeEnds[1]);
        EXPECT_EQ(StdoutText(name), name);
    }
    for (int fd : {master, slave, pipeEnds[0], pipeEnds[1]}) {
        ::close(fd);
    }
}

}  // namespace
