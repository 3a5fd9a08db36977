#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <string>

#include "platform/TerminalText.h"

namespace {

TEST(TerminalTextTest, EveryControlByteAndOnlyThoseBecomesAQuestionMark) {
    std::string all;
    std::string expected;
    for (int byte = 0; byte < 256; ++byte) {
        all += static_cast<char>(byte);
        expected += byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte);
    }
    EXPECT_EQ(TerminalSafeText(all), expected);
    EXPECT_EQ(TerminalSafeText("evil\n[fixed], \x1b]0;title\a.ppt"),
              "evil?[fixed], ?]0;title?.ppt");
    EXPECT_EQ(TerminalSafeText("caf\xC3\xA9 \xFF.ppt"), "caf\xC3\xA9 \xFF.ppt");
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
