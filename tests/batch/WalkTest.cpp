#include <gtest/gtest.h>

#include <algorithm>

#include "BatchTestSupport.h"
#include "platform/SystemConventions.h"

using namespace batchtest;

namespace {

using WalkTest = PatchtreeTest;
using HostileNamesTest = PatchtreeTest;

TEST_F(WalkTest, PresentationNamesInPreOrder) {
    fs::create_directories(tree / "x.ppt");
    fs::create_directories(tree / "sub/deeper");
    for (const char* name : {"a.ppt", "a.ppt.ppt", "report.PPT", "b.Ppt", "a.pptx", "ppt",
                             "x.ppt/inner.ppt", "sub/deeper/d.ppt"}) {
        WriteFileBytes(tree / name, "exit 2");
    }

    const RunOutput result = patchtree.run({logOption(), tree.u8string()});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(OutLines(result.out).size(), 1u) << result.out;
    EXPECT_EQ(SummaryCounts(result.out),
              "5 files: 0 fixed, 4 ok, 1 failed; passed over: 2 names ending in another case of "
              ".ppt.");
    EXPECT_EQ(LogLines(logs), Expected({{"[ok]", tree / "a.ppt"},
                                        {"[ok]", tree / "a.ppt.ppt"},
                                        {"[err]", tree / "x.ppt"},
                                        {"[ok]", tree / "x.ppt/inner.ppt"},
                                        {"[ok]", tree / "sub/deeper/d.ppt"}}));
    // A folder is handed on first, its content right after it.
    const std::vector<std::string> files = patchtree.childFiles();
    const auto folderAt = std::find(files.begin(), files.end(), Shown(tree / "x.ppt"));
    ASSERT_TRUE(folderAt != files.end() && folderAt + 1 != files.end());
    EXPECT_EQ(folderAt[1], Shown(tree / "x.ppt/inner.ppt"));
    EXPECT_EQ(files.size(), 5u);
}

// A missing folder, or one without presentations, is passed over silently, and without any
// presentation no log file is made (its folder is). A file argument gets the two-line problem
// report, and the summary comes last. Paths are the argument as typed and the names below it (a
// backslash is a character of a name on POSIX, and separates folders on Windows).
TEST_F(WalkTest, MissingFolderIsSilentAndFileArgumentIsReported) {
    WriteFileBytes(tree / "a.ppt", "exit 0");
    WriteFileBytes(scratch / "lone.ppt", "exit 2");
    fs::create_directory(scratch / "notes");
    WriteFileBytes(scratch / "notes/notes.txt", "exit 2");
    fs::create_directories(scratch / "work/back\\slash/sub");
    WriteFileBytes(scratch / "work/back\\slash/sub/a.ppt", "exit 2");
    RunOptions inWork;
    inWork.workingFolder = scratch / "work";
    const std::string fileArgument = (scratch / "lone.ppt").u8string();

    const RunOutput nothing = patchtree.run(
        {logOption(), (scratch / "nowhere").u8string(), (scratch / "notes").u8string()});
    EXPECT_EQ(nothing.exitCode, 0);
    EXPECT_EQ(nothing.out + nothing.err, "");
    EXPECT_TRUE(fs::is_directory(logs));
    EXPECT_TRUE(LogFiles(logs).empty());

    const RunOutput result =
        patchtree.run({logOption(), (scratch / "nowhere").u8string(), fileArgument, tree.u8string(),
                       "back\\slash/", "./back\\slash"},
                      inWork);
    EXPECT_EQ(result.exitCode, 0);
    const std::vector<std::string> lines = OutLines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0], "A problem occurred parsing the following directory: " + fileArgument);
    EXPECT_NE(lines[1].find(Shown(fs::u8path(fileArgument))), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "3 files: 1 fixed, 2 ok, 0 failed. Log: " + logs.u8string() +
                            Conventions().folderSeparator +
                            LogFiles(logs).at(0).filename().u8string());
    EXPECT_EQ(
        patchtree.childFiles(),
        (std::vector<std::string>{Shown(tree / "a.ppt"), Shown(fs::u8path("back\\slash/sub/a.ppt")),
                                  Shown(fs::u8path("./back\\slash/sub/a.ppt"))}));
}

// File names that a command interpreter would act on, and that every system takes; names only
// POSIX file systems take are in PatchtreePosixTest.cpp.
TEST_F(HostileNamesTest, EachNameReachesTheChildAsOneArgumentAndRunsNothing) {
    checkHostileNames({"it's 'quoted'.ppt", "$(touch marker1).ppt", "`touch marker2`.ppt",
                       "semi;colon & amp ^ %PATH% (x).ppt", "two  spaces .ppt",
                       " leading space.ppt", "-d.ppt", "caf\xC3\xA9 \xE4\xB8\xAD.ppt"});
}

// The stand-in child makes a backup the way Patchdoc does. No run may hand a backup it made to
// the repair: not while the folder is being walked, and not when the folder is walked again,
// by any path.
TEST_F(WalkTest, FilesTheRunCreatedAreNeverRepaired) {
    fs::create_directories(tree / "sub");
    for (int i = 0; i < 20; ++i) {
        WriteFileBytes(tree / ("f" + std::to_string(i) + ".ppt"), "backup " + std::to_string(i));
    }
    WriteFileBytes(tree / "sub/g.ppt", "backup g");
    // A backup from an earlier run is passed over; a backup name without its original beside it
    // is an ordinary file.
    WriteFileBytes(tree / "sub/g (Backup).ppt", "exit 2");
    WriteFileBytes(tree / "sub/h (Backup).ppt", "exit 2");

    const RunOutput result =
        patchtree.run({logOption(), tree.u8string(), tree.u8string() + "/",
                       (tree / "sub").u8string(), (tree / "sub" / "..").u8string()});
    EXPECT_EQ(result.exitCode, 0);

    std::vector<std::string> backupsHanded;
    for (const std::string& file : patchtree.childFiles()) {
        if (file.find("(Backup") != std::string::npos) {
            backupsHanded.push_back(fs::u8path(file).filename().u8string());
        }
    }
    EXPECT_EQ(backupsHanded, std::vector<std::string>(4, "h (Backup).ppt"));
    for (int i = 0; i < 20; ++i) {
        const std::string f = "f" + std::to_string(i);
        EXPECT_EQ(ReadFileBytes(tree / (f + " (Backup).ppt")), "backup " + std::to_string(i));
        EXPECT_FALSE(fs::exists(tree / (f + " (Backup 1).ppt")));
    }
    EXPECT_EQ(ReadFileBytes(tree / "sub/g (Backup 1).ppt"), "backup g");
    EXPECT_FALSE(fs::exists(tree / "sub/g (Backup 2).ppt"));
}

// A later run (the next night's batch) over a tree with backups beside their originals hands
// only the originals to the repair and logs nothing for the backups. Only Patchdoc's own backup
// names count, in their letter case where the file system tells cases apart, and only while the
// original is there.
TEST_F(WalkTest, BackupsBesideTheirOriginalAreNeverRepaired) {
    fs::create_directories(tree / "deep/er");
    fs::create_directories(tree / "m.ppt");  // a folder: no backups, but something of that name
    for (const char* name : {"k.ppt", "k (Backup).ppt", "k (Backup 1).ppt", "k (Backup 9).ppt",
                             "deep/er/n.ppt", "deep/er/n (Backup 4).ppt", "m (Backup 2).ppt"}) {
        WriteFileBytes(tree / name, "exit 2");
    }
    std::vector<std::string> ordinary{
        "k (Backup 10).ppt",   "k (Backup 0).ppt",  "k(Backup).ppt",
        "k (Backup).ppt.ppt",  "k (Backup) x.ppt",  "gone (Backup).ppt",
        "deep/n (Backup).ppt", "m.ppt (Backup).ppt"};  // the backup of m.ppt.ppt
    if (!fs::exists(tree / "K.PPT")) {
        ordinary.push_back("k (backup).ppt");
    }
    std::vector<std::pair<std::string, fs::path>> lines{
        {"[ok]", tree / "k.ppt"}, {"[ok]", tree / "deep/er/n.ppt"}, {"[err]", tree / "m.ppt"}};
    for (const std::string& name : ordinary) {
        WriteFileBytes(tree / name, "exit 2");
        lines.emplace_back("[ok]", tree / name);
    }

    ASSERT_EQ(patchtree.run({logOption(), tree.u8string()}).exitCode, 0);
    EXPECT_EQ(LogLines(logs), Expected(lines));
    EXPECT_EQ(patchtree.childFiles().size(), lines.size());
}

}  // namespace
