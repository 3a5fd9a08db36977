// Patchtree with -j:N (children side by side) and -n (check only), with the stand-in child.
#include <gtest/gtest.h>

#include "BatchTestSupport.h"

using namespace batchtest;

namespace {

using ParallelRunTest = PatchtreeTest;

// Three folders of files that end every way the stand-in knows, backups made included.
void MakeMixedTree(const fs::path& tree) {
    fs::remove_all(tree);
    for (const char* folder : {"a", "a/b", "c"}) {
        fs::create_directories(tree / folder);
        for (const char* instruction :
             {"exit 0", "exit 2", "exit 1", "exit 77", "signal", "backup"}) {
            WriteFile(tree / folder / (std::string(instruction) + ".ppt"), instruction);
        }
    }
}

// Every file gets the one line it gets without -j:, and the summary counts the same, with and
// without backups.
TEST_F(ParallelRunTest, SameLinesAndCountsAsOneAtATime) {
    int runs = 0;
    for (const char* backups : {"-d", "-l:"}) {  // "-l:" alone changes nothing here
        MakeMixedTree(tree);
        const fs::path oneLogs = scratch / ("logs" + std::to_string(++runs));
        const RunOutput one = patchtree.run({backups, "-l:" + oneLogs.u8string(), tree.u8string()});
        const std::vector<std::string> expected = Sorted(SplitLines(ReadLogText(oneLogs)));
        ASSERT_EQ(expected.size(), 18u);
        for (const char* jobs : {"-j:1", "-j:3", "-j:", "-j:0"}) {
            SCOPED_TRACE(std::string(backups) + " " + jobs);
            MakeMixedTree(tree);
            const fs::path jobLogs = scratch / ("logs" + std::to_string(++runs));
            const RunOutput parallel =
                patchtree.run({jobs, backups, "-l:" + jobLogs.u8string(), tree.u8string()});
            EXPECT_EQ(parallel.exitCode, 0);
            EXPECT_EQ(Sorted(SplitLines(ReadLogText(jobLogs))), expected);
            EXPECT_EQ(SummaryCounts(parallel.out), SummaryCounts(one.out));
        }
    }
}

// Each child's output reaches the console whole, however its pieces and other children's
// interleave in time.
TEST_F(ParallelRunTest, ConsoleLinesAreWhole) {
    std::vector<std::string> expected;
    for (int i = 0; i < 8; ++i) {
        const fs::path file = tree / ("pieces " + std::to_string(i) + ".ppt");
        WriteFile(file, "pieces");
        expected.push_back("[ok], " + Shown(file));
    }
    const RunOutput run = patchtree.run({"-j:4", logOption(), tree.u8string()});
    std::vector<std::string> lines;
    const std::string text = WithoutSummary(run.out);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(Sorted(lines), Sorted(expected));
}

// The stand-in fails a file that another stand-in holds, so every line is "[ok], " only when no
// two names of one file were handed out at once.
TEST_F(ParallelRunTest, HardLinksAreNeverRepairedAtOnce) {
    fs::create_directories(tree / "sub");
    WriteFile(tree / "a.ppt", "hold 300");
    fs::create_hard_link(tree / "a.ppt", tree / "b.ppt");
    fs::create_hard_link(tree / "a.ppt", tree / "sub/c.ppt");
    for (const char* other : {"d.ppt", "sub/e.ppt"}) {
        WriteFile(tree / other, "hold 300");
    }
    const RunOutput run = patchtree.run({"-j:8", logOption(), tree.u8string()});
    EXPECT_EQ(SummaryCounts(run.out), "5 files: 0 fixed, 5 ok, 0 failed.");
    for (const std::string& line : SplitLines(ReadLogText(logs))) {
        EXPECT_EQ(line.rfind("[ok], ", 0), 0u) << line;
    }
}

// -n hands "-n" and the path to Patchdoc (a "-d" is moot) and logs the word Patchdoc printed.
TEST_F(ParallelRunTest, CheckOnlyLogsTheWordsPatchdocPrints) {
    WriteFile(tree / "flattened.ppt", "flattened 7");
    WriteFile(tree / "ok.ppt", "exit 2");
    WriteFile(tree / "error.ppt", "exit 1");
    for (const char* jobs : {"-l:", "-j:2"}) {
        SCOPED_TRACE(jobs);
        fs::remove_all(logs);
        const RunOutput run = patchtree.run({"-n", "-d", jobs, logOption(), tree.u8string()});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(
            Sorted(SplitLines(ReadLogText(logs))),
            Sorted({"[flattened 7], " + Shown(tree / "flattened.ppt"),
                    "[ok], " + Shown(tree / "ok.ppt"), "[err], " + Shown(tree / "error.ppt")}));
        EXPECT_EQ(SummaryCounts(run.out), "3 files: 1 to repair, 1 ok, 1 failed.");
        EXPECT_NE(WithoutSummary(run.out).find("[flattened 7], "), std::string::npos);
    }
    for (const auto& call : patchtree.childCalls()) {
        ASSERT_EQ(call.size(), 2u);
        EXPECT_EQ(call[0], "-n");
    }
}

}  // namespace
