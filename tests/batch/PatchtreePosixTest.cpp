// What Patchtree does where only a POSIX system can set the scene: the default log folder in
// HOME, a log folder named through a symbolic link, the trace file in the XDG documents folder, a
// log folder the user may not write to, and Ctrl-C sent to a process group.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "BatchTestSupport.h"
#include "batch/LogWriter.h"
#include "support/TestSystem.h"

using namespace batchtest;

namespace {

using PatchtreeCommandLineTest = PatchtreeTest;
using ParallelRunTest = PatchtreeTest;

// With an empty option the log goes into the default folder in HOME, made when missing.
TEST_F(PatchtreeCommandLineTest, EmptyLogOptionLogsIntoTheDefaultFolderInHome) {
    WriteFile(tree / "a.ppt", "exit 2");
    const RunOutput result = patchtree.run({"-l:", tree.string()});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(WithoutSummary(result.out), "");
    EXPECT_EQ(SplitLines(ReadLogText(patchtree.home() / "Brambleco")),
              std::vector<std::string>{"[ok], " + (tree / "a.ppt").string()});
}

TEST_F(PatchtreeCommandLineTest, LogFolderThatIsALinkToAFileIsRefused) {
    WriteFile(tree / "a.ppt", "exit 2");
    WriteFile(scratch / "taken", "not a folder");
    fs::create_symlink(scratch / "taken", scratch / "link");
    const RunOutput result = patchtree.run({"-l:" + (scratch / "link").string(), tree.string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
              "The log folder " + (scratch / "link").string() + " is a file, not a folder.\n");
    EXPECT_TRUE(patchtree.childCalls().empty());
}

TEST(LogWriterTest, TraceFileInDocumentsFolderWhenNoPathIsSet) {
    ScratchFolder scratch;
    ::setenv("XDG_DOCUMENTS_DIR", scratch.path().c_str(), 1);
    SetLogPath({});
    AppendLogLine("one\n");
    AppendLogLine("two\n");
    ::unsetenv("XDG_DOCUMENTS_DIR");
    EXPECT_EQ(LogPath(), scratch / "KVTrace.txt");
    const std::string bytes = ReadFile(scratch / "KVTrace.txt");
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(fixtures::Utf16LEToUtf8(bytes.substr(2)), "one\r\ntwo\r\n");
}

// Runs as an unprivileged user (when we are root) against a log folder it may not write to.
TEST(LogWriterTest, UnwritableLogGivesOneWarningAndTheWalkGoesOn) {
    ScratchFolder scratch;
    Installation patchtree(scratch, Child::StandIn);
    fs::create_directory(scratch / "tree");
    fs::create_directory(scratch / "logs");
    fs::permissions(scratch / "logs", fs::perms::owner_read | fs::perms::owner_exec |
                                          fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
    for (const char* name : {"a.ppt", "b.ppt", "c.ppt"}) {
        WriteFile(scratch / "tree" / name, "exit 2");
    }
    RunOptions options;
    options.unprivileged = true;
    const RunOutput result =
        patchtree.run({"-l:" + (scratch / "logs").string(), (scratch / "tree").string()}, options);
    if (result.exitCode == 125) {
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    }
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(patchtree.childCalls().size(), 3u);
    EXPECT_TRUE(LogFiles(scratch / "logs").empty());
    const std::string logFolder = (scratch / "logs").string() + "/";
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find("\"" + logFolder), std::string::npos) << result.err;
}

// Ctrl-C, as a terminal sends it to the foreground process group: no child is started after
// it, the running ones finish undisturbed (held for a second and a half, they would end with a
// signal if it reached them), their lines and the summary are written, and the exit code says
// the walk did not end.
TEST_F(ParallelRunTest, InterruptWaitsForTheRunningChildrenAndStartsNoMore) {
    for (int i = 0; i < 6; ++i) {
        WriteFile(tree / ("held " + std::to_string(i) + ".ppt"), "hold 1500");
    }
    RunOptions options;
    options.interruptWhen = [this] { return patchtree.childCalls().size() >= 2; };
    const RunOutput run = patchtree.run({"-j:2", logOption(), tree.string()}, options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(patchtree.childCalls().size(), 2u);
    EXPECT_EQ(SummaryCounts(run.out), "2 files: 0 fixed, 2 ok, 0 failed.");
    EXPECT_EQ(SplitLines(ReadLogText(logs)).size(), 2u);
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
}

}  // namespace
