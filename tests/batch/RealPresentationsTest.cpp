#include <gtest/gtest.h>

#include <cstdlib>

#include "BatchTestSupport.h"
#include "support/Deck.h"
#include "support/PresentationBuilder.h"
#include "support/Records.h"
#include "support/TestSystem.h"

using namespace batchtest;
using namespace fixtures;

namespace {

// A presentation of one slide with these shapes.
Bytes deck(const std::vector<Bytes>& shapes) {
    return buildDeck({{shapes}, {}}).compoundFile();
}

// Patchtree with the real Patchdoc over a tree of presentations: each file gets the line its
// state calls for, repaired files get their backup, and the backups are left alone.
TEST(RealPresentationsTest, LogListsEveryFileWithItsOutcome) {
    ScratchFolder scratch;
    Installation patchtree(scratch, Child::RealPatchdoc);
    const fs::path tree = scratch / "tree";
    fs::create_directories(tree / "sub" / "deeper");
    const Bytes flattened = deck({oleShape(1025, 1, true), pictureShape(1026)});
    const Bytes intact = deck({oleShape(1025, 1, false)});
    std::vector<std::pair<fs::path, std::string>> expected{
        {tree / "flattened.ppt", "[fixed], "},
        {tree / "sub" / "it's $(touch marker) deck.ppt", "[fixed], "},
        {tree / "sub" / "intact.ppt", "[ok], "},
        {tree / "sub" / "deeper" / "notes.ppt", "[err], "},
    };
    writeFile(expected[0].first, flattened);
    writeFile(expected[1].first, flattened);
    writeFile(expected[2].first, intact);
    WriteFile(expected[3].first, "not a presentation");
    const char* corpus = std::getenv("PATCH_CORPUS");
    if (corpus != nullptr && fs::exists(fs::path(corpus) / "flattened-45543.ppt")) {
        const fs::path real = tree / "sub" / "deeper" / "real.ppt";
        fs::copy_file(fs::path(corpus) / "flattened-45543.ppt", real);
        fs::permissions(real, fs::perms::owner_write, fs::perm_options::add);
        expected.emplace_back(real, "[fixed], ");
    }

    RunOptions inWork;  // where a command smuggled in by a file name would create its marker
    inWork.workingFolder = scratch / "work";
    fs::create_directories(inWork.workingFolder);
    ASSERT_EQ(
        patchtree.run({"-l:" + (scratch / "logs").u8string(), tree.u8string()}, inWork).exitCode,
        0);

    std::vector<std::string> lines;
    for (const auto& [path, word] : expected) {
        lines.push_back(word + Shown(path));
    }
    EXPECT_EQ(Sorted(SplitLines(ReadLogText(scratch / "logs"))), Sorted(lines));
    for (const auto& [path, word] : expected) {
        const fs::path backup = path.parent_path() / (path.stem().u8string() + " (Backup).ppt");
        EXPECT_EQ(fs::exists(backup), word == "[fixed], ") << backup;
        if (word == "[fixed], ") {
            EXPECT_NE(readFile(path), readFile(backup)) << path;
        }
    }
    EXPECT_EQ(readFile(expected[2].first), intact);
    EXPECT_EQ(readFile(tree / "flattened (Backup).ppt"), flattened);
    EXPECT_FALSE(fs::exists(tree / "flattened (Backup) (Backup).ppt"));
    EXPECT_FALSE(fs::exists(scratch / "work" / "marker"));
}

// -n over real presentations: the log reports the archive and nothing in the tree changes.
TEST(RealPresentationsTest, CheckOnlyReportsAndChangesNothing) {
    ScratchFolder scratch;
    Installation patchtree(scratch, Child::RealPatchdoc);
    const fs::path tree = scratch / "tree";
    fs::create_directories(tree / "sub");
    const std::pair<fs::path, Bytes> files[] = {
        {tree / "flattened.ppt", deck({oleShape(1025, 1, true), oleShape(1026, 2, true)})},
        {tree / "sub" / "intact.ppt", deck({oleShape(1025, 1, false)})},
        {tree / "sub" / "notes.ppt", text("not a presentation")},
    };
    for (const auto& [path, bytes] : files) {
        writeFile(path, bytes);
    }
    ASSERT_EQ(patchtree.run({"-n", "-j:2", "-l:" + (scratch / "logs").u8string(), tree.u8string()})
                  .exitCode,
              0);
    EXPECT_EQ(Sorted(SplitLines(ReadLogText(scratch / "logs"))),
              Sorted({"[flattened 2], " + Shown(files[0].first), "[ok], " + Shown(files[1].first),
                      "[err], " + Shown(files[2].first)}));
    for (const auto& [path, bytes] : files) {
        EXPECT_EQ(readFile(path), bytes) << path;
    }
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(tree), {}), 4);
}

// As in "Patchtree ... | head -n 1": the reader of standard output has gone. Patchtree's own
// problem report and every Patchdoc line then fail to print, and nothing else changes.
TEST(RealPresentationsTest, ClosedOutputPipeChangesNoOutcome) {
    ScratchFolder scratch;
    Installation patchtree(scratch, Child::RealPatchdoc);
    const fs::path tree = scratch / "tree";
    fs::create_directories(tree);
    const Bytes flattened = deck({oleShape(1025, 1, true)});
    std::vector<std::string> lines;
    for (const char* name : {"a.ppt", "b.ppt", "c.ppt"}) {
        writeFile(tree / name, flattened);
        lines.push_back("[fixed], " + Shown(tree / name));
    }
    WriteFile(scratch / "file-argument", "");

    RunOptions closed;
    closed.standardOutput = StandardOutput::ClosedPipe;
    closed.environment.push_back(std::string(kTempFolderVariable) + "=" +
                                 scratch.path().u8string());
    const RunOutput result =
        patchtree.run({"-l:" + (scratch / "logs").u8string(),
                       (scratch / "file-argument").u8string(), tree.u8string()},
                      closed);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Sorted(SplitLines(ReadLogText(scratch / "logs"))), lines);
    for (const char* name : {"a", "b", "c"}) {
        EXPECT_EQ(readFile(tree / (std::string(name) + " (Backup).ppt")), flattened) << name;
    }
    EXPECT_EQ(CountTempFiles(tree), 0);
    EXPECT_EQ(CountTempFiles(scratch.path()), 0);
}

// The programs as built, not copies: Patchtree finds the Patchdoc built beside it in build/bin.
// Patchdoc's own line comes first on the console, the summary line last.
TEST(BuildTreeTest, PatchtreeRunsThePatchdocBuiltBesideIt) {
    const fs::path program(PATCHTREE_PROGRAM);
    EXPECT_EQ(program.parent_path(), fs::path(PATCHDOC_PROGRAM).parent_path());
    EXPECT_EQ(program.parent_path().filename(), "bin");
    ScratchFolder scratch;
    const fs::path tree = scratch / "tree";
    const fs::path logs = scratch / "logs";
    fs::create_directories(tree);
    fs::create_directories(scratch / "home");
    const fs::path file = tree / "flattened.ppt";
    writeFile(file, deck({oleShape(1025, 1, true)}));
    RunOptions options;
    options.environment.push_back("HOME=" + (scratch / "home").u8string());

    const RunOutput run =
        batchtest::Run(program, {"-d", "-l:" + logs.u8string(), tree.u8string()}, options);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(SplitLines(ReadLogText(logs)), std::vector<std::string>{"[fixed], " + Shown(file)});
    ASSERT_EQ(LogFiles(logs).size(), 1u);
    EXPECT_EQ(run.out, "[fixed], " + Shown(file) + "\n1 file: 1 fixed, 0 ok, 0 failed. Log: " +
                           LogFiles(logs)[0].u8string() + "\n");
    EXPECT_EQ(run.err, "");
}

}  // namespace
