// Walks that only a POSIX system can set up: names with control characters, quotes and bytes
// that are not UTF-8, pseudo-terminals, paths longer than PATH_MAX, folders without permissions
// and symbolic links.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "BatchTestSupport.h"

using namespace batchtest;

namespace {

using WalkTest = PatchtreeTest;

TEST(HostileNamesTest, ControlCharactersQuotesAndInvalidBytesInNames) {
    const std::vector<std::string> names = {
        "it's \"quoted\".ppt",
        "x\"; touch marker3; echo \".ppt",
        "semi;colon & amp | pipe > out.ppt",
        "line\nfeed.ppt",
        "evil\n[fixed], forged.ppt",
        "escape\x1b]0;title\a\r\t.ppt",
        "*.ppt",
        "bad\xFF\xFEname.ppt",
    };
    CheckHostileNames(Child::StandIn, "[ok], ", names);
    CheckHostileNames(Child::RealPatchdoc, "[err], ", names);
}

// The problem report shows control characters of a path as '?' on a terminal, and the exact
// bytes anywhere else.
TEST_F(WalkTest, ProblemReportIsSafeOnATerminal) {
    const std::string name = "lone\x1b[31m\n.ppt";
    WriteFile(scratch / name, "exit 2");
    const std::string argument = (scratch / name).string();
    const std::string shown = (scratch / "lone?[31m?.ppt").string();
    const std::string firstLine = "A problem occurred parsing the following directory: ";

    RunOptions onTerminal;
    onTerminal.standardOutput = fixtures::StandardOutput::Terminal;
    const RunOutput terminal = patchtree.run({logOption(), argument}, onTerminal);
    EXPECT_EQ(terminal.exitCode, 0);
    ASSERT_EQ(
        terminal.out.compare(0, firstLine.size() + shown.size() + 1, firstLine + shown + "\n"), 0)
        << terminal.out;
    EXPECT_NE(terminal.out.find(shown, firstLine.size() + shown.size()), std::string::npos)
        << terminal.out;
    EXPECT_EQ(terminal.out.find('\x1b'), std::string::npos) << terminal.out;
    EXPECT_EQ(std::count(terminal.out.begin(), terminal.out.end(), '\n'), 2) << terminal.out;

    const RunOutput toFile = patchtree.run({logOption(), argument});
    EXPECT_EQ(toFile.out.compare(0, firstLine.size() + argument.size(), firstLine + argument), 0)
        << toFile.out;
}

// A chain of folders with long names, made and removed through descriptors, so that its path
// is longer than any path the system takes, with a presentation at the bottom.
class DeepChain {
public:
    DeepChain(const fs::path& top, int levels) : top_(top), levels_(levels) {
        int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < levels && fd >= 0; ++i) {
            ::mkdirat(fd, kName.c_str(), 0755);
            const int next = ::openat(fd, kName.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
        }
        const int file = fd < 0 ? -1 : ::openat(fd, "deep.ppt", O_WRONLY | O_CREAT, 0644);
        made_ = file >= 0 && ::write(file, "exit 2", 6) == 6;
        ::close(file);
        ::close(fd);
    }
    DeepChain(const DeepChain&) = delete;
    DeepChain& operator=(const DeepChain&) = delete;
    ~DeepChain() { Remove(::open(top_.c_str(), O_RDONLY | O_DIRECTORY), levels_); }

    bool made() const { return made_; }
    std::string bottomFile() const {
        std::string path = top_.string();
        for (int i = 0; i < levels_; ++i) {
            path += "/" + kName;
        }
        return path + "/deep.ppt";
    }

private:
    static inline const std::string kName = std::string(200, 'd');

    // Removes the chain below the folder `fd` (and closes it).
    static void Remove(int fd, int levels) {
        if (fd < 0) {
            return;
        }
        if (levels > 0) {
            Remove(::openat(fd, kName.c_str(), O_RDONLY | O_DIRECTORY), levels - 1);
            ::unlinkat(fd, kName.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(fd, "deep.ppt", 0);
        }
        ::close(fd);
    }

    fs::path top_;
    int levels_;
    bool made_ = false;
};

// Depth is no limit to the walk: a presentation whose path is longer than PATH_MAX is found and
// handed on (the stand-in can't open such a path, so it ends with 1), and the walk goes on. A
// folder argument that long can't be opened: that is reported, and the next one is walked.
TEST_F(WalkTest, TreeDeeperThanTheLongestPathIsWalked) {
    fs::create_directories(tree / "a");
    DeepChain chain(tree / "a", 25);
    ASSERT_TRUE(chain.made());
    const std::string deep = chain.bottomFile();
    ASSERT_GT(deep.size(), static_cast<std::size_t>(PATH_MAX));
    WriteFile(tree / "top.ppt", "exit 2");
    fs::create_directories(scratch / "tree2");
    WriteFile(scratch / "tree2/next.ppt", "exit 2");
    const std::string tooLong = fs::path(deep).parent_path().string();

    const RunOutput result =
        patchtree.run({logOption(), tree.string(), tooLong, (scratch / "tree2").string()});
    EXPECT_EQ(result.exitCode, 0);
    const std::string firstLine =
        "A problem occurred parsing the following directory: " + tooLong + "\n";
    ASSERT_EQ(result.out.compare(0, firstLine.size(), firstLine), 0) << result.out.substr(0, 200);
    EXPECT_NE(result.out.find("File name too long", firstLine.size()), std::string::npos);
    const std::string report = WithoutSummary(result.out);
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 2);
    EXPECT_EQ(Sorted(patchtree.childFiles()),
              Sorted({(tree / "top.ppt").string(), deep, (scratch / "tree2/next.ppt").string()}));
    EXPECT_EQ(Sorted(SplitLines(ReadLogText(logs))),
              Sorted({"[ok], " + (tree / "top.ppt").string(), "[err], " + deep,
                      "[ok], " + (scratch / "tree2/next.ppt").string()}));
}

// Runs as an unprivileged user (when we are root) so that a folder without permissions can't
// be opened.
TEST_F(WalkTest, UnreadableSubfolderIsReportedAndSkipped) {
    fs::create_directories(tree / "locked/inner");
    fs::create_directories(tree / "open");
    fs::create_directories(scratch / "tree2");
    fs::create_directories(logs);
    fs::permissions(logs, fs::perms::all);
    for (const char* name :
         {"a.ppt", "z.ppt", "locked/b.ppt", "locked/inner/c.ppt", "open/d.ppt"}) {
        WriteFile(tree / name, "exit 2");
    }
    WriteFile(scratch / "tree2/e.ppt", "exit 2");
    fs::permissions(tree / "locked", fs::perms::none);

    RunOptions options;
    options.unprivileged = true;
    const RunOutput result =
        patchtree.run({logOption(), tree.string(), (scratch / "tree2").string()}, options);
    if (result.exitCode == 125) {
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    }
    EXPECT_EQ(result.exitCode, 0);
    const std::string firstLine =
        "A problem occurred parsing the following directory: " + tree.string() + "\n";
    ASSERT_EQ(result.out.compare(0, firstLine.size(), firstLine), 0) << result.out;
    EXPECT_NE(result.out.find((tree / "locked").string(), firstLine.size()), std::string::npos)
        << result.out;
    const std::string problem = WithoutSummary(result.out);
    EXPECT_EQ(std::count(problem.begin(), problem.end(), '\n'), 2) << result.out;
    EXPECT_EQ(Sorted(patchtree.childFiles()),
              Sorted({(tree / "a.ppt").string(), (tree / "z.ppt").string(),
                      (tree / "open/d.ppt").string(), (scratch / "tree2/e.ppt").string()}));
}

// A symbolic link in the place of a presentation could hand the repair (and its backup) a file
// in a folder the batch's user never meant to touch: it is passed over and counted, whether it
// leads to a file, to nowhere or to a folder.
TEST_F(WalkTest, LinksWithAPresentationNameArePassedOverAndCounted) {
    fs::create_directories(scratch / "private");
    WriteFile(scratch / "private/deck.ppt", "exit 0");
    WriteFile(tree / "real.ppt", "exit 2");
    fs::create_symlink(scratch / "private/deck.ppt", tree / "file-link.ppt");
    fs::create_symlink(scratch / "nowhere", tree / "dangling.ppt");
    fs::create_directory(scratch / "other");
    fs::create_symlink(scratch / "other", tree / "folder-link.ppt");
    const RunOutput result = patchtree.run({logOption(), tree.string()});
    EXPECT_EQ(patchtree.childFiles(), std::vector<std::string>{(tree / "real.ppt").string()});
    ASSERT_EQ(LogFiles(logs).size(), 1u);
    EXPECT_EQ(result.out, "1 file: 0 fixed, 1 ok, 0 failed; passed over: 3 symbolic links. Log: " +
                              LogFiles(logs)[0].string() + "\n");

    fs::remove(tree / "real.ppt");
    fs::remove(tree / "dangling.ppt");
    fs::remove(tree / "folder-link.ppt");
    const fs::path otherLogs = scratch / "logs2";
    const RunOutput onlyLink = patchtree.run({"-l:" + otherLogs.string(), tree.string()});
    EXPECT_EQ(onlyLink.out,
              "0 files: 0 fixed, 0 ok, 0 failed; passed over: 1 symbolic link. No log written.\n");
    EXPECT_TRUE(LogFiles(otherLogs).empty());
}

}  // namespace
