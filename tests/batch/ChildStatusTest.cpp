#include <gtest/gtest.h>

#include "BatchTestSupport.h"
#include "batch/RepairTally.h"
#include "platform/Env.h"
#include "platform/SystemConventions.h"

using namespace batchtest;

namespace {

// Files that tell the stand-in child how to end, and the word each should get in the log.
struct StatusCase {
    const char* name;
    const char* instruction;
    const char* word;
};

const StatusCase kCases[] = {
    {"fixed.ppt", "exit 0", "[fixed], "}, {"ok.ppt", "exit 2", "[ok], "},
    {"error.ppt", "exit 1", "[err], "},   {"other.ppt", "exit 77", "[err], "},
    {"killed.ppt", "signal", "[err], "},
};

// Fills the folder with the cases and returns the sorted log lines a run should give; with
// `failedStart` every line is an error line.
std::vector<std::string> MakeCases(const fs::path& tree, bool failedStart) {
    fs::create_directories(tree);
    std::vector<std::string> lines;
    for (const StatusCase& c : kCases) {
        WriteFile(tree / c.name, c.instruction);
        lines.push_back((failedStart ? "[err], " : c.word) + Shown(tree / c.name));
    }
    return Sorted(lines);
}

using ChildStatusTest = PatchtreeTest;

// The last line of the text without its line feed; empty when the text doesn't end with one.
std::string LastLine(const std::string& text) {
    if (text.empty() || text.back() != '\n') {
        return std::string();
    }
    const std::size_t end = text.size() - 1;
    const std::size_t previous = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
    const std::size_t start = previous == std::string::npos ? 0 : previous + 1;
    return text.substr(start, end - start);
}

TEST_F(ChildStatusTest, ExitStatusGivesTheResultWordAndTheSummaryCountsThem) {
    const std::vector<std::string> expected = MakeCases(tree, false);
    const RunOutput run = patchtree.run({logOption(), tree.u8string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Sorted(SplitLines(ReadLogText(logs))), expected);
    ASSERT_EQ(LogFiles(logs).size(), 1u);
    EXPECT_EQ(run.out,
              "5 files: 1 fixed, 1 ok, 3 failed. Log: " + LogFiles(logs)[0].u8string() + "\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(ChildStatusTest, SummaryLineComesLastAndOnlyAfterAPresentation) {
    fs::create_directories(tree / "a");
    WriteFile(tree / "a/only.ppt", "exit 0");
    WriteFile(tree / "notes.txt", "exit 0");
    const RunOutput run = patchtree.run({logOption(), (scratch / "missing").u8string(),
                                         (tree / "notes.txt").u8string(), tree.u8string()});
    // The walk's problem lines for the argument naming a file come before the summary.
    EXPECT_NE(run.out.find("A problem occurred parsing the following directory: "),
              std::string::npos);
    EXPECT_EQ(LastLine(run.out), "1 file: 1 fixed, 0 ok, 0 failed. Log: " + logs.u8string() +
                                     Conventions().folderSeparator +
                                     LogFiles(logs).at(0).filename().u8string());

    const fs::path empty = scratch / "empty";
    fs::create_directory(empty);
    const RunOutput none =
        patchtree.run({"-l:" + (scratch / "logs2").u8string(), empty.u8string()});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "");
}

TEST_F(ChildStatusTest, BackupOptionComesBeforeThePath) {
    fs::create_directories(scratch / "my-docs");
    const fs::path file = scratch / "my-docs" / "a.ppt";
    WriteFile(file, "exit 2");
    patchtree.run({logOption(), (scratch / "my-docs").u8string()});
    patchtree.run({"-d", logOption(), (scratch / "my-docs").u8string()});
    EXPECT_EQ(patchtree.childCalls(),
              (std::vector<std::vector<std::string>>{{Shown(file)}, {"-d", Shown(file)}}));
}

// Every file is logged as an error, and standard error says once why, with the program path
// tried and the reason the system gives for not starting it.
TEST(ChildStartTest, ChildThatCannotStartIsReportedOnceAndGivesErrorLines) {
    for (const Child child : {Child::Missing, Child::NotExecutable}) {
        ScratchFolder scratch;
        Installation patchtree(scratch, child);
        const ProcessResult tried = Env::Default().runProcess(patchtree.childPath(), {});
        ASSERT_NE(tried.startError, 0);
        const std::vector<std::string> expected = MakeCases(scratch / "tree", true);
        const RunOutput run =
            patchtree.run({"-l:" + (scratch / "logs").u8string(), (scratch / "tree").u8string()});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(Sorted(SplitLines(ReadLogText(scratch / "logs"))), expected);
        EXPECT_TRUE(patchtree.childCalls().empty());
        EXPECT_EQ(run.err, "Patchtree: cannot start \"" + patchtree.childPath().u8string() +
                               "\": " + Env::Default().errorText(tried.startError) + "\n");
        EXPECT_EQ(LastLine(run.out).rfind("5 files: 0 fixed, 0 ok, 5 failed. Log: ", 0), 0u)
            << run.out;
    }
}

// What was passed over follows the counts, each kind that occurred; a run that logged no file
// says that it wrote no log.
TEST(SummaryLineTest, CountsWhatWasPassedOver) {
    RepairTally tally;
    tally.passOver(PassedOver::OtherCaseOfEnding);
    EXPECT_EQ(tally.summaryLine("x.log"),
              "0 files: 0 fixed, 0 ok, 0 failed; passed over: 1 name ending in another case of "
              ".ppt. No log written.");
    tally.passOver(PassedOver::OtherCaseOfEnding);
    tally.passOver(PassedOver::SymbolicLink);
    tally.add(RepairOutcome::Fixed);
    EXPECT_EQ(tally.summaryLine("x.log"),
              "1 file: 1 fixed, 0 ok, 0 failed; passed over: 1 symbolic link, 2 names ending in "
              "another case of .ppt. Log: x.log");
    EXPECT_EQ(tally.passedOver(), 3u);
}

}  // namespace
