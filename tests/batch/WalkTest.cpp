#include <gtest/gtest.h>

#include <algorithm>

#include "BatchTestSupport.h"

using namespace batchtest;

namespace {

using WalkTest = PatchtreeTest;

TEST_F(WalkTest, PresentationNamesInPreOrder) {
    fs::create_directories(tree / "x.ppt");
    fs::create_directories(tree / "sub/deeper");
    for (const char* name : {"a.ppt", "a.ppt.ppt", "report.PPT", "a.Ppt", "a.pptx", "ppt",
                             "x.ppt/inner.ppt", "sub/deeper/d.ppt"}) {
        WriteFile(tree / name, "exit 2");
    }

    const RunOutput result = patchtree.run({logOption(), tree.string()});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(WithoutSummary(result.out), "");
    const std::vector<std::string> files = patchtree.childFiles();
    const std::string folderEntry = (tree / "x.ppt").string();
    EXPECT_EQ(Sorted(files),
              Sorted({(tree / "a.ppt").string(), (tree / "a.ppt.ppt").string(), folderEntry,
                      (tree / "x.ppt/inner.ppt").string(), (tree / "sub/deeper/d.ppt").string()}));
    // A folder comes first, its content right after it.
    const auto folderAt = std::find(files.begin(), files.end(), folderEntry);
    ASSERT_TRUE(folderAt != files.end() && folderAt + 1 != files.end());
    EXPECT_EQ(folderAt[1], (tree / "x.ppt/inner.ppt").string());

    EXPECT_EQ(
        Sorted(SplitLines(ReadLogText(logs))),
        Sorted({"[ok], " + (tree / "a.ppt").string(), "[ok], " + (tree / "a.ppt.ppt").string(),
                "[err], " + folderEntry, "[ok], " + (tree / "x.ppt/inner.ppt").string(),
                "[ok], " + (tree / "sub/deeper/d.ppt").string()}));
}

TEST_F(WalkTest, PathsAreTheArgumentAsTypedAndTheNames) {
    fs::create_directories(scratch / "work/back\\slash/sub");
    WriteFile(scratch / "work/back\\slash/sub/a.ppt", "exit 2");

    RunOptions inWork;
    inWork.workingFolder = scratch / "work";
    patchtree.run({logOption(), "back\\slash/", "./back\\slash"}, inWork);
    EXPECT_EQ(patchtree.childFiles(),
              (std::vector<std::string>{"back\\slash/sub/a.ppt", "./back\\slash/sub/a.ppt"}));
}

// A missing folder, or one without presentations, is passed over silently, and without any
// presentation no log file is made (its folder is).
TEST_F(WalkTest, MissingFolderIsSilentAndFileArgumentIsReported) {
    WriteFile(tree / "a.ppt", "exit 2");
    WriteFile(scratch / "lone.ppt", "exit 2");
    fs::create_directory(scratch / "notes");
    WriteFile(scratch / "notes/notes.txt", "exit 2");
    const std::string fileArgument = (scratch / "lone.ppt").string();

    const RunOutput nothing =
        patchtree.run({logOption(), (scratch / "nowhere").string(), (scratch / "notes").string()});
    EXPECT_EQ(nothing.exitCode, 0);
    EXPECT_EQ(nothing.out + nothing.err, "");
    EXPECT_TRUE(fs::is_directory(logs));
    EXPECT_TRUE(LogFiles(logs).empty());

    const RunOutput result =
        patchtree.run({logOption(), (scratch / "nowhere").string(), fileArgument, tree.string()});
    EXPECT_EQ(result.exitCode, 0);
    const std::string firstLine =
        "A problem occurred parsing the following directory: " + fileArgument + "\n";
    ASSERT_EQ(result.out.compare(0, firstLine.size(), firstLine), 0) << result.out;
    const std::string secondLine = WithoutSummary(result.out).substr(firstLine.size());
    EXPECT_EQ(std::count(secondLine.begin(), secondLine.end(), '\n'), 1) << result.out;
    EXPECT_NE(secondLine.find(fileArgument), std::string::npos) << result.out;
    EXPECT_EQ(patchtree.childFiles(), std::vector<std::string>{(tree / "a.ppt").string()});
}

// File names that a command interpreter would act on.
const std::vector<std::string> kHostileNames = {
    "it's \"quoted\".ppt",
    "$(touch marker1).ppt",
    "`touch marker2`.ppt",
    "x\"; touch marker3; echo \".ppt",
    "semi;colon & amp | pipe > out.ppt",
    "two  spaces .ppt",
    " leading space.ppt",
    "line\nfeed.ppt",
    "-d.ppt",
    "*.ppt",
    "bad\xFF\xFEname.ppt",
};

// How a path shows in the log: line feeds as CR LF, the invalid bytes above as U+FFFD.
std::string AsLogged(std::string path) {
    for (std::size_t at; (at = path.find("\xFF\xFE")) != std::string::npos;) {
        path.replace(at, 2, "\xEF\xBF\xBD\xEF\xBF\xBD");
    }
    for (std::size_t at = 0; (at = path.find('\n', at)) != std::string::npos; at += 2) {
        path.replace(at, 1, "\r\n");
    }
    return path;
}

// Runs Patchtree over the hostile names and checks the log: one line per file, exact paths.
// The stand-in child also shows that it got each path, byte for byte, as one argument.
void CheckHostileNames(Child child, const char* word) {
    ScratchFolder scratch;
    Installation patchtree(scratch, child);
    const fs::path tree = scratch / "tree";
    fs::create_directories(tree);
    fs::create_directories(scratch / "work");
    for (const std::string& name : kHostileNames) {
        WriteFile(tree / name, "exit 2");
    }
    RunOptions inWork;
    inWork.workingFolder = scratch / "work";
    EXPECT_EQ(patchtree.run({"-l:" + (scratch / "logs").string(), tree.string()}, inWork).exitCode,
              0);

    const std::string log = ReadLogText(scratch / "logs");
    std::size_t expectedSize = 0;
    std::vector<std::vector<std::string>> expectedCalls;
    for (const std::string& name : kHostileNames) {
        const std::string line = word + AsLogged((tree / name).string()) + "\r\n";
        expectedSize += line.size();
        const std::size_t at = log.find(line);
        EXPECT_NE(at, std::string::npos) << name;
        EXPECT_EQ(log.find(line, at + 1), std::string::npos) << name;
        expectedCalls.push_back({(tree / name).string()});
    }
    EXPECT_EQ(log.size(), expectedSize) << log;
    if (child == Child::StandIn) {
        std::vector<std::vector<std::string>> calls = patchtree.childCalls();
        std::sort(calls.begin(), calls.end());
        std::sort(expectedCalls.begin(), expectedCalls.end());
        EXPECT_EQ(calls, expectedCalls);
    }

    for (const auto& entry : fs::recursive_directory_iterator(scratch.path())) {
        EXPECT_NE(entry.path().filename().string().rfind("marker", 0), 0u) << entry.path();
    }
    EXPECT_FALSE(fs::exists(tree / "out.ppt"));
}

TEST(HostileNamesTest, EachNameReachesTheChildAsOneArgumentAndRunsNothing) {
    CheckHostileNames(Child::StandIn, "[ok], ");
    CheckHostileNames(Child::RealPatchdoc, "[err], ");
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

// The stand-in child makes a backup the way Patchdoc does. No run may hand a backup it made to
// the repair: not while the folder is being walked, and not when the folder is walked again.
TEST_F(WalkTest, FilesTheRunCreatedAreNeverRepaired) {
    fs::create_directories(tree / "sub");
    std::vector<std::string> originals;
    for (int i = 0; i < 20; ++i) {
        originals.push_back((tree / ("f" + std::to_string(i) + ".ppt")).string());
        WriteFile(originals.back(), "backup " + std::to_string(i));
    }
    originals.push_back((tree / "sub/g.ppt").string());
    WriteFile(originals.back(), "backup g");
    // Backup names that were there before the run are ordinary files.
    const std::string earlier = (tree / "sub/g (Backup).ppt").string();
    WriteFile(earlier, "exit 2");
    fs::create_symlink(tree, scratch / "link");

    const RunOutput result = patchtree.run({logOption(), tree.string(), tree.string() + "/",
                                            (tree / "sub").string(), (scratch / "link").string()});
    EXPECT_EQ(result.exitCode, 0);

    int earlierHanded = 0;
    for (const std::string& file : patchtree.childFiles()) {
        const std::string name = fs::path(file).filename().string();
        earlierHanded += name == "g (Backup).ppt";
        EXPECT_TRUE(name == "g (Backup).ppt" || name.find("(Backup") == std::string::npos) << file;
    }
    EXPECT_EQ(earlierHanded, 4);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(ReadFile(tree / ("f" + std::to_string(i) + " (Backup).ppt")),
                  "backup " + std::to_string(i));
        EXPECT_FALSE(fs::exists(tree / ("f" + std::to_string(i) + " (Backup 1).ppt")));
    }
    EXPECT_EQ(ReadFile(tree / "sub/g (Backup 1).ppt"), "backup g");
    EXPECT_FALSE(fs::exists(tree / "sub/g (Backup 2).ppt"));
}

}  // namespace
