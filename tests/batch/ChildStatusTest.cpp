#include <gtest/gtest.h>

#include "BatchTestSupport.h"

using namespace batchtest;

namespace {

// A tree whose files tell the stand-in child how to end, and the line each should get.
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

std::vector<std::string> MakeCases(const ScratchFolder& scratch) {
    fs::create_directory(scratch / "tree");
    std::vector<std::string> lines;
    for (const StatusCase& c : kCases) {
        WriteFile(scratch / "tree" / c.name, c.instruction);
        lines.push_back(c.word + (scratch / "tree" / c.name).string());
    }
    return Sorted(lines);
}

std::vector<std::string> RunAndReadLog(const ScratchFolder& scratch, const Installation& patchtree,
                                       std::vector<std::string> arguments) {
    arguments.push_back("-l:" + (scratch / "logs").string());
    const RunOutput result = patchtree.run(arguments);
    EXPECT_EQ(result.exitCode, 0);
    return Sorted(SplitLines(ReadLogText(scratch / "logs")));
}

TEST(ChildStatusTest, ExitStatusGivesTheResultWord) {
    ScratchFolder scratch;
    Installation patchtree(scratch, Child::StandIn);
    const std::vector<std::string> expected = MakeCases(scratch);
    EXPECT_EQ(RunAndReadLog(scratch, patchtree, {(scratch / "tree").string()}), expected);
}

TEST(ChildStatusTest, ChildThatCannotStartGivesErrorLines) {
    for (const Child child : {Child::Missing, Child::NotExecutable}) {
        ScratchFolder scratch;
        Installation patchtree(scratch, child);
        MakeCases(scratch);
        std::vector<std::string> expected;
        for (const StatusCase& c : kCases) {
            expected.push_back("[err], " + (scratch / "tree" / c.name).string());
        }
        EXPECT_EQ(RunAndReadLog(scratch, patchtree, {(scratch / "tree").string()}),
                  Sorted(expected));
        EXPECT_TRUE(patchtree.childCalls().empty());
    }
}

TEST(ChildStatusTest, BackupOptionComesBeforeThePath) {
    ScratchFolder scratch;
    Installation patchtree(scratch, Child::StandIn);
    fs::create_directories(scratch / "my-docs");
    const std::string file = (scratch / "my-docs/a.ppt").string();
    WriteFile(file, "exit 2");

    patchtree.run({"-l:" + (scratch / "logs").string(), (scratch / "my-docs").string()});
    patchtree.run({"-d", "-l:" + (scratch / "logs").string(), (scratch / "my-docs").string()});
    EXPECT_EQ(patchtree.childCalls(),
              (std::vector<std::vector<std::string>>{{file}, {"-d", file}}));
}

}  // namespace
