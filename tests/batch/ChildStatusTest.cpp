#include <gtest/gtest.h>

#include "BatchTestSupport.h"

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
        lines.push_back((failedStart ? "[err], " : c.word) + (tree / c.name).string());
    }
    return Sorted(lines);
}

using ChildStatusTest = PatchtreeTest;

TEST_F(ChildStatusTest, ExitStatusGivesTheResultWord) {
    const std::vector<std::string> expected = MakeCases(tree, false);
    EXPECT_EQ(patchtree.run({logOption(), tree.string()}).exitCode, 0);
    EXPECT_EQ(Sorted(SplitLines(ReadLogText(logs))), expected);
}

TEST_F(ChildStatusTest, BackupOptionComesBeforeThePath) {
    fs::create_directories(scratch / "my-docs");
    const std::string file = (scratch / "my-docs/a.ppt").string();
    WriteFile(file, "exit 2");
    patchtree.run({logOption(), (scratch / "my-docs").string()});
    patchtree.run({"-d", logOption(), (scratch / "my-docs").string()});
    EXPECT_EQ(patchtree.childCalls(),
              (std::vector<std::vector<std::string>>{{file}, {"-d", file}}));
}

TEST(ChildStartTest, ChildThatCannotStartGivesErrorLines) {
    for (const Child child : {Child::Missing, Child::NotExecutable}) {
        ScratchFolder scratch;
        Installation patchtree(scratch, child);
        const std::vector<std::string> expected = MakeCases(scratch / "tree", true);
        EXPECT_EQ(patchtree.run({"-l:" + (scratch / "logs").string(), (scratch / "tree").string()})
                      .exitCode,
                  0);
        EXPECT_EQ(Sorted(SplitLines(ReadLogText(scratch / "logs"))), expected);
        EXPECT_TRUE(patchtree.childCalls().empty());
    }
}

}  // namespace
