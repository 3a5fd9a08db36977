// What Patchtree does where only a POSIX system can set the scene: names with control
// characters, quotes and bytes that are not UTF-8, pseudo-terminals, paths longer than PATH_MAX,
// folders without permissions, symbolic links, the default log folder in HOME, the trace file in
// the XDG documents folder, and Ctrl-C sent to a process group.
#include <gtest/gtest.h>
#include <limits.h>

#include <algorithm>
#include <cstdlib>

#include "BatchTestSupport.h"
#include "batch/LogWriter.h"
#include "support/TestSystem.h"

using namespace batchtest;

namespace {

using PatchtreePosixTest = PatchtreeTest;
using HostileNamesTest = PatchtreeTest;

// Makes `levels` folders named `name`, one inside the other, in the new folder `top`, and
// "deep.ppt" at the bottom, each from the one above as the working folder, as no path reaches
// that deep. The removal, too, goes from folder to folder (rm does).
struct Chain {
    Chain(const fs::path& top, const std::string& name, int levels) : top(top), file(top) {
        const fs::path here = fs::current_path();
        fs::create_directory(top);
        fs::current_path(top);
        for (int i = 0; i < levels; ++i, file += "/" + name) {
            fs::create_directory(name);
            fs::current_path(name);
        }
        WriteFileBytes("deep.ppt", "exit 2");
        file += "/deep.ppt";
        fs::current_path(here);
    }
    ~Chain() { EXPECT_EQ(std::system(("rm -rf '" + top.string() + "'").c_str()), 0); }
    fs::path top;
    std::string file;
};

TEST_F(HostileNamesTest, ControlCharactersQuotesAndInvalidBytesInNames) {
    checkHostileNames({"it's \"quoted\".ppt", "x\"; touch marker3; echo \".ppt",
                       "semi;colon & amp | pipe > out.ppt", "line\nfeed.ppt",
                       "evil\n[fixed], forged.ppt", "escape\x1b]0;title\a\r\t.ppt", "*.ppt",
                       "bad\xFF\xFEname.ppt"});
}

// The problem report shows control characters of a path as '?' on a terminal, and the exact
// bytes anywhere else.
TEST_F(PatchtreePosixTest, ProblemReportIsSafeOnATerminal) {
    const std::string name = "lone\x1b[31m\n.ppt";
    WriteFileBytes(scratch / name, "exit 2");
    const std::string argument = (scratch / name).string();
    const std::string shown = (scratch / "lone?[31m?.ppt").string();
    const std::string firstLine = "A problem occurred parsing the following directory: ";

    RunOptions onTerminal;
    onTerminal.standardOutput = fixtures::StandardOutput::Terminal;
    const RunOutput terminal = patchtree.run({logOption(), argument}, onTerminal);
    EXPECT_EQ(terminal.exitCode, 0);
    const std::vector<std::string> lines = OutLines(terminal.out);
    ASSERT_EQ(lines.size(), 2u) << terminal.out;
    EXPECT_EQ(lines[0], firstLine + shown);
    EXPECT_NE(lines[1].find(shown), std::string::npos) << lines[1];
    EXPECT_EQ(terminal.out.find('\x1b'), std::string::npos) << terminal.out;

    const RunOutput toFile = patchtree.run({logOption(), argument});
    EXPECT_EQ(toFile.out.rfind(firstLine + argument + "\n", 0), 0u) << toFile.out;
}

// Depth is no limit to the walk: a presentation whose path is longer than PATH_MAX is found and
// handed on (the stand-in can't open such a path, so it ends with 1), and the walk goes on. A
// folder argument that long can't be opened: that is reported, and the next one is walked.
TEST_F(PatchtreePosixTest, TreeDeeperThanTheLongestPathIsWalked) {
    const Chain chain(tree / "a", std::string(200, 'd'), 25);
    const std::string& deep = chain.file;
    ASSERT_GT(deep.size(), static_cast<std::size_t>(PATH_MAX));
    WriteFileBytes(tree / "top.ppt", "exit 2");
    fs::create_directories(scratch / "tree2");
    WriteFileBytes(scratch / "tree2/next.ppt", "exit 2");
    const std::string tooLong = fs::path(deep).parent_path().string();

    const RunOutput result =
        patchtree.run({logOption(), tree.string(), tooLong, (scratch / "tree2").string()});
    EXPECT_EQ(result.exitCode, 0);
    const std::vector<std::string> lines = OutLines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out.substr(0, 200);
    EXPECT_EQ(lines[0], "A problem occurred parsing the following directory: " + tooLong);
    EXPECT_NE(lines[1].find("File name too long"), std::string::npos) << lines[1];
    EXPECT_EQ(Sorted(patchtree.childFiles()),
              Sorted({(tree / "top.ppt").string(), deep, (scratch / "tree2/next.ppt").string()}));
    EXPECT_EQ(LogLines(logs), Sorted({"[ok], " + (tree / "top.ppt").string(), "[err], " + deep,
                                      "[ok], " + (scratch / "tree2/next.ppt").string()}));
}

// Run as an unprivileged user (when we are root): a folder without permissions can't be opened
// and is reported, and the walk goes on; a log folder that can't be written to gives one warning
// and every file is still handed on.
TEST_F(PatchtreePosixTest, UnreadableSubfolderAndUnwritableLog) {
    fs::create_directories(tree / "locked/inner");
    fs::create_directories(tree / "open");
    fs::create_directories(scratch / "tree2");
    fs::create_directories(logs);
    fs::permissions(logs, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    for (const char* name :
         {"a.ppt", "z.ppt", "locked/b.ppt", "locked/inner/c.ppt", "open/d.ppt"}) {
        WriteFileBytes(tree / name, "exit 2");
    }
    WriteFileBytes(scratch / "tree2/e.ppt", "exit 2");
    fs::permissions(tree / "locked", fs::perms::none);

    RunOptions options;
    options.unprivileged = true;
    const RunOutput result =
        patchtree.run({logOption(), tree.string(), (scratch / "tree2").string()}, options);
    if (result.exitCode == 125) {
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    }
    EXPECT_EQ(result.exitCode, 0);
    const std::vector<std::string> lines = OutLines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0], "A problem occurred parsing the following directory: " + tree.string());
    EXPECT_NE(lines[1].find((tree / "locked").string()), std::string::npos) << result.out;
    EXPECT_EQ(Sorted(patchtree.childFiles()),
              Sorted({(tree / "a.ppt").string(), (tree / "z.ppt").string(),
                      (tree / "open/d.ppt").string(), (scratch / "tree2/e.ppt").string()}));
    EXPECT_TRUE(LogFiles(logs).empty());
    const std::size_t warning =
        result.err.find("Warning: cannot write to the log file \"" + logs.string() + "/");
    EXPECT_NE(warning, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Warning", warning + 1), std::string::npos) << result.err;
}

// A symbolic link in the place of a presentation could hand the repair (and its backup) a file
// in a folder the batch's user never meant to touch: it is passed over and counted, whether it
// leads to a file, to nowhere or to a folder. The summary counts each kind passed over. A log
// folder named through a link to a file is refused.
TEST_F(PatchtreePosixTest, LinksWithAPresentationNameArePassedOverAndCounted) {
    fs::create_directories(scratch / "private");
    WriteFileBytes(scratch / "private/deck.ppt", "exit 0");
    fs::create_symlink(scratch / "private/deck.ppt", tree / "file-link.ppt");
    const RunOutput onlyLink = patchtree.run({logOption("logs2"), tree.string()});
    EXPECT_EQ(onlyLink.out,
              "0 files: 0 fixed, 0 ok, 0 failed; passed over: 1 symbolic link. No log written.\n");
    EXPECT_TRUE(LogFiles(scratch / "logs2").empty());
    const std::string linkToFile = (tree / "file-link.ppt").string();
    const RunOutput refused = patchtree.run({"-l:" + linkToFile, tree.string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "The log folder " + linkToFile + " is a file, not a folder.\n");

    WriteFileBytes(tree / "real.ppt", "exit 2");
    WriteFileBytes(tree / "other.PPT", "exit 2");
    fs::create_symlink(scratch / "nowhere", tree / "dangling.ppt");
    fs::create_directory(scratch / "other");
    fs::create_symlink(scratch / "other", tree / "folder-link.ppt");
    const RunOutput result = patchtree.run({logOption(), tree.string()});
    EXPECT_EQ(patchtree.childFiles(), std::vector<std::string>{(tree / "real.ppt").string()});
    EXPECT_EQ(result.out,
              "1 file: 0 fixed, 1 ok, 0 failed; passed over: 3 symbolic links, 1 name ending in "
              "another case of .ppt. Log: " +
                  LogFiles(logs).at(0).string() + "\n");
}

// With an empty option the log goes into the default folder in HOME, made when missing.
TEST_F(PatchtreePosixTest, DefaultLogFolderInHome) {
    WriteFileBytes(tree / "a.ppt", "exit 2");
    const RunOutput result = patchtree.run({"-l:", tree.string()});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(OutLines(result.out).size(), 1u) << result.out;
    EXPECT_EQ(LogLines(patchtree.home() / "Brambleco"), Expected({{"[ok]", tree / "a.ppt"}}));
}

TEST(LogWriterTest, TraceFileInDocumentsFolderWhenNoPathIsSet) {
    ScratchFolder scratch;
    ::setenv("XDG_DOCUMENTS_DIR", scratch.path().c_str(), 1);
    SetLogPath({});
    AppendLogLine("one\n");
    AppendLogLine("two\n");
    ::unsetenv("XDG_DOCUMENTS_DIR");
    EXPECT_EQ(LogPath(), scratch / "KVTrace.txt");
    const std::string bytes = ReadFileBytes(scratch / "KVTrace.txt");
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(fixtures::Utf16LEToUtf8(bytes.substr(2)), "one\r\ntwo\r\n");
}

// Ctrl-C, as a terminal sends it to the foreground process group: no child is started after
// it, the running ones finish undisturbed (held for a second and a half, they would end with a
// signal if it reached them), their lines and the summary are written, and the exit code says
// the walk did not end.
TEST_F(PatchtreePosixTest, InterruptWaitsForTheRunningChildrenAndStartsNoMore) {
    for (int i = 0; i < 6; ++i) {
        WriteFileBytes(tree / ("held " + std::to_string(i) + ".ppt"),
                       "hold 1500 " + std::to_string(i));
    }
    RunOptions options;
    options.interruptWhen = [this] { return patchtree.childCalls().size() >= 2; };
    const RunOutput run = patchtree.run({"-j:2", logOption(), tree.string()}, options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(patchtree.childCalls().size(), 2u);
    EXPECT_EQ(SummaryCounts(run.out), "2 files: 0 fixed, 2 ok, 0 failed.");
    EXPECT_EQ(LogLines(logs).size(), 2u);
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
}

}  // namespace
