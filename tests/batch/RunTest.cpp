// How Patchtree runs its child on each file, one at a time and with -j:N (children side by side),
// with the stand-in child.
#include <gtest/gtest.h>

#include "BatchTestSupport.h"
#include "platform/Env.h"

using namespace batchtest;

namespace {

using RunTest = PatchtreeTest;

// Three folders of files that end every way the stand-in knows, backups made included; returns
// the log lines a run should give.
std::vector<std::string> MakeMixedTree(const fs::path& tree) {
    const std::pair<const char*, const char*> endings[] = {
        {"exit 0", "[fixed]"}, {"exit 2", "[ok]"},  {"exit 1", "[err]"},
        {"exit 77", "[err]"},  {"signal", "[err]"}, {"backup", "[fixed]"},
    };
    fs::remove_all(tree);
    std::vector<std::pair<std::string, fs::path>> lines;
    for (const char* folder : {"a", "a/b", "c"}) {
        fs::create_directories(tree / folder);
        for (const auto& [instruction, word] : endings) {
            const fs::path file = tree / folder / (std::string(instruction) + ".ppt");
            WriteFileBytes(file, instruction);
            lines.emplace_back(word, file);
        }
    }
    return Expected(lines);
}

// The exit status gives the word; "-d" comes before the path. With -j: every file gets the one
// line it gets without, and the summary counts the same, with and without backups.
TEST_F(RunTest, ResultWordsAndCountsAreTheSameWithAndWithoutJobs) {
    int runs = 0;
    for (const std::string backups : {"-d", "-l:"}) {  // "-l:" alone changes nothing here
        const std::vector<std::string> expected = MakeMixedTree(tree);
        const std::string serialLogs = "logs" + std::to_string(++runs);
        const std::size_t earlierCalls = patchtree.childCalls().size();
        const RunOutput serial = patchtree.run({backups, logOption(serialLogs), tree.u8string()});
        EXPECT_EQ(serial.exitCode, 0);
        EXPECT_EQ(LogLines(scratch / serialLogs), expected);
        EXPECT_EQ(serial.out, "18 files: 6 fixed, 3 ok, 9 failed. Log: " +
                                  LogFiles(scratch / serialLogs).at(0).u8string() + "\n");
        EXPECT_EQ(serial.err, "");
        const auto calls = patchtree.childCalls();
        for (auto call = calls.begin() + earlierCalls; call != calls.end(); ++call) {
            EXPECT_EQ(call->size(), backups == "-d" ? 2u : 1u);
            EXPECT_EQ(call->front(), backups == "-d" ? "-d" : call->back());
        }
        for (const char* jobs : {"-j:1", "-j:3", "-j:"}) {
            SCOPED_TRACE(backups + " " + jobs);
            MakeMixedTree(tree);
            const std::string jobLogs = "logs" + std::to_string(++runs);
            const RunOutput parallel =
                patchtree.run({jobs, backups, logOption(jobLogs), tree.u8string()});
            EXPECT_EQ(parallel.exitCode, 0);
            EXPECT_EQ(LogLines(scratch / jobLogs), expected);
            EXPECT_EQ(SummaryCounts(parallel.out), SummaryCounts(serial.out));
        }
    }
}

// Every file is logged as an error, and standard error says once why, with the program path
// tried and the reason the system gives for not starting it.
TEST(ChildStartTest, ChildThatCannotStartIsReportedOnceAndGivesErrorLines) {
    for (const Child child : {Child::Missing, Child::NotExecutable}) {
        ScratchFolder scratch;
        Installation patchtree(scratch, child);
        const ProcessResult tried = Env::Default().runProcess(patchtree.childPath(), {});
        ASSERT_NE(tried.startError, 0);
        fs::create_directories(scratch / "tree");
        WriteFileBytes(scratch / "tree/fixed.ppt", "exit 0");
        WriteFileBytes(scratch / "tree/ok.ppt", "exit 2");
        const RunOutput run =
            patchtree.run({"-l:" + (scratch / "logs").u8string(), (scratch / "tree").u8string()});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(LogLines(scratch / "logs"), Expected({{"[err]", scratch / "tree/fixed.ppt"},
                                                        {"[err]", scratch / "tree/ok.ppt"}}));
        EXPECT_TRUE(patchtree.childCalls().empty());
        EXPECT_EQ(run.err, "Patchtree: cannot start \"" + patchtree.childPath().u8string() +
                               "\": " + Env::Default().errorText(tried.startError) + "\n");
        EXPECT_EQ(SummaryCounts(run.out), "2 files: 0 fixed, 0 ok, 2 failed.");
    }
}

// Each child's output reaches the console whole, however its pieces and other children's
// interleave in time. Two names of one file are never handed out at once: a stand-in told to
// "hold" a file fails when another stand-in holds it already (each file's content is its own).
TEST_F(RunTest, ConsoleLinesAreWholeAndHardLinksNeverRepairedAtOnce) {
    std::vector<std::string> expected;
    for (int i = 0; i < 8; ++i) {
        const fs::path file = tree / ("pieces " + std::to_string(i) + ".ppt");
        WriteFileBytes(file, "pieces");
        expected.push_back("[ok], " + Shown(file));
    }
    fs::create_directories(tree / "sub");
    for (const char* file : {"a.ppt", "d.ppt", "sub/e.ppt"}) {
        WriteFileBytes(tree / file, std::string("hold 300 ") + file);
    }
    fs::create_hard_link(tree / "a.ppt", tree / "b.ppt");
    fs::create_hard_link(tree / "a.ppt", tree / "sub/c.ppt");
    const RunOutput run = patchtree.run({"-j:8", logOption(), tree.u8string()});
    EXPECT_EQ(SummaryCounts(run.out), "13 files: 0 fixed, 13 ok, 0 failed.");
    std::vector<std::string> lines = OutLines(run.out);
    ASSERT_FALSE(lines.empty());
    lines.pop_back();  // the summary
    EXPECT_EQ(Sorted(lines), Sorted(expected));
}

// As in "Patchtree ... | head -n 1": the reader of standard output has gone. Patchtree's own
// problem report and every line of the children then fail to print, and nothing else changes.
TEST_F(RunTest, ClosedOutputPipeChangesNoOutcome) {
    std::vector<std::pair<std::string, fs::path>> lines;
    for (const char* name : {"a.ppt", "b.ppt", "c.ppt"}) {
        WriteFileBytes(tree / name, "pieces");
        lines.emplace_back("[ok]", tree / name);
    }
    WriteFileBytes(scratch / "file-argument", "");
    RunOptions closed;
    closed.standardOutput = fixtures::StandardOutput::ClosedPipe;
    const std::string fileArgument = (scratch / "file-argument").u8string();
    EXPECT_EQ(patchtree.run({logOption(), fileArgument, tree.u8string()}, closed).exitCode, 0);
    EXPECT_EQ(LogLines(logs), Expected(lines));
}

}  // namespace
