#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

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
    "evil\n[fixed], forged.ppt",
    "escape\x1b]0;title\a\r\t.ppt",
    "-d.ppt",
    "*.ppt",
    "bad\xFF\xFEname.ppt",
};

// How a path shows in the log: control characters and the invalid bytes above as U+FFFD.
std::string AsLogged(const std::string& path) {
    std::string logged;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        logged += byte < 0x20 || byte == 0x7F || byte == 0xFF || byte == 0xFE
                      ? std::string("\xEF\xBF\xBD")
                      : std::string(1, c);
    }
    return logged;
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
    EXPECT_EQ(SplitLines(log).size(), kHostileNames.size()) << log;
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

// The problem report shows control characters of a path as '?' on a terminal, and the exact
// bytes anywhere else.
TEST_F(WalkTest, ProblemReportIsSafeOnATerminal) {
    const std::string name = "lone\x1b[31m\n.ppt";
    WriteFile(scratch / name, "exit 2");
    const std::string argument = (scratch / name).string();
    const std::string shown = (scratch / "lone?[31m?.ppt").string();
    const std::string firstLine = "A problem occurred parsing the following directory: ";

    RunOptions onTerminal;
    onTerminal.standardOutput = fixtures::StandardOutput::Terminal;
    const RunOutput terminal = patchtree.run({logOption(), argument}, onTerminal);
    EXPECT_EQ(terminal.exitCode, 0);
    ASSERT_EQ(
        terminal.out.compare(0, firstLine.size() + shown.size() + 1, firstLine + shown + "\n"), 0)
        << terminal.out;
    EXPECT_NE(terminal.out.find(shown, firstLine.size() + shown.size()), std::string::npos)
        << terminal.out;
    EXPECT_EQ(terminal.out.find('\x1b'), std::string::npos) << terminal.out;
    EXPECT_EQ(std::count(terminal.out.begin(), terminal.out.end(), '\n'), 2) << terminal.out;

    const RunOutput toFile = patchtree.run({logOption(), argument});
    EXPECT_EQ(toFile.out.compare(0, firstLine.size() + argument.size(), firstLine + argument), 0)
        << toFile.out;
}

// A chain of folders with long names, made and removed through descriptors, so that its path
// is longer than any path the system takes, with a presentation at the bottom.
class DeepChain {
public:
    DeepChain(const fs::path& top, int levels) : top_(top), levels_(levels) {
        int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < levels && fd >= 0; ++i) {
            ::mkdirat(fd, kName.c_str(), 0755);
            const int next = ::openat(fd, kName.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
        }
        const int file = fd < 0 ? -1 : ::openat(fd, "deep.ppt", O_WRONLY | O_CREAT, 0644);
        made_ = file >= 0 && ::write(file, "exit 2", 6) == 6;
        ::close(file);
        ::close(fd);
    }
    DeepChain(const DeepChain&) = delete;
    DeepChain& operator=(const DeepChain&) = delete;
    ~DeepChain() { Remove(::open(top_.c_str(), O_RDONLY | O_DIRECTORY), levels_); }

    bool made() const { return made_; }
    std::string bottomFile() const {
        std::string path = top_.string();
        for (int i = 0; i < levels_; ++i) {
            path += "/" + kName;
        }
        return path + "/deep.ppt";
    }

private:
    static inline const std::string kName = std::string(200, 'd');

    // Removes the chain below the folder `fd` (and closes it).
    static void Remove(int fd, int levels) {
        if (fd < 0) {
            return;
        }
        if (levels > 0) {
            Remove(::openat(fd, kName.c_str(), O_RDONLY | O_DIRECTORY), levels - 1);
            ::unlinkat(fd, kName.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(fd, "deep.ppt", 0);
        }
        ::close(fd);
    }

    fs::path top_;
    int levels_;
    bool made_ = false;
};

// Depth is no limit to the walk: a presentation whose path is longer than PATH_MAX is found and
// handed on (the stand-in can't open such a path, so it ends with 1), and the walk goes on. A
// folder argument that long can't be opened: that is reported, and the next one is walked.
TEST_F(WalkTest, TreeDeeperThanTheLongestPathIsWalked) {
    fs::create_directories(tree / "a");
    DeepChain chain(tree / "a", 25);
    ASSERT_TRUE(chain.made());
    const std::string deep = chain.bottomFile();
    ASSERT_GT(deep.size(), static_cast<std::size_t>(PATH_MAX));
    WriteFile(tree / "top.ppt", "exit 2");
    fs::create_directories(scratch / "tree2");
    WriteFile(scratch / "tree2/next.ppt", "exit 2");
    const std::string tooLong = fs::path(deep).parent_path().string();

    const RunOutput result =
        patchtree.run({logOption(), tree.string(), tooLong, (scratch / "tree2").string()});
    EXPECT_EQ(result.exitCode, 0);
    const std::string firstLine =
        "A problem occurred parsing the following directory: " + tooLong + "\n";
    ASSERT_EQ(result.out.compare(0, firstLine.size(), firstLine), 0) << result.out.substr(0, 200);
    EXPECT_NE(result.out.find("File name too long", firstLine.size()), std::string::npos);
    const std::string report = WithoutSummary(result.out);
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 2);
    EXPECT_EQ(Sorted(patchtree.childFiles()),
              Sorted({(tree / "top.ppt").string(), deep, (scratch / "tree2/next.ppt").string()}));
    EXPECT_EQ(Sorted(SplitLines(ReadLogText(logs))),
              Sorted({"[ok], " + (tree / "top.ppt").string(), "[err], " + deep,
                      "[ok], " + (scratch / "tree2/next.ppt").string()}));
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

// A symbolic link in the place of a presentation could hand the repair (and its backup) a file
// in a folder the batch's user never meant to touch: it is passed over and counted, whether it
// leads to a file, to nowhere or to a folder.
TEST_F(WalkTest, LinksWithAPresentationNameArePassedOverAndCounted) {
    fs::create_directories(scratch / "private");
    WriteFile(scratch / "private/deck.ppt", "exit 0");
    WriteFile(tree / "real.ppt", "exit 2");
    fs::create_symlink(scratch / "private/deck.ppt", tree / "file-link.ppt");
    fs::create_symlink(scratch / "nowhere", tree / "dangling.ppt");
    fs::create_directory(scratch / "other");
    fs::create_symlink(scratch / "other", tree / "folder-link.ppt");
    const RunOutput result = patchtree.run({logOption(), tree.string()});
    EXPECT_EQ(patchtree.childFiles(), std::vector<std::string>{(tree / "real.ppt").string()});
    ASSERT_EQ(LogFiles(logs).size(), 1u);
    EXPECT_EQ(result.out, "1 file: 0 fixed, 1 ok, 0 failed; passed over: 3 symbolic links. Log: " +
                              LogFiles(logs)[0].string() + "\n");

    fs::remove(tree / "real.ppt");
    fs::remove(tree / "dangling.ppt");
    fs::remove(tree / "folder-link.ppt");
    const fs::path otherLogs = scratch / "logs2";
    const RunOutput onlyLink = patchtree.run({"-l:" + otherLogs.string(), tree.string()});
    const std::string expected =
        "0 files: 0 fixed, 0 ok, 0 failed; passed over: 1 symbolic link. Log: " +
        otherLogs.string() + "/";
    EXPECT_EQ(onlyLink.out.substr(0, expected.size()), expected);
    EXPECT_TRUE(LogFiles(otherLogs).empty());
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
    // A backup from an earlier run is passed over; a backup name without its original beside it
    // is an ordinary file.
    WriteFile(tree / "sub/g (Backup).ppt", "exit 2");
    WriteFile(tree / "sub/h (Backup).ppt", "exit 2");
    fs::create_symlink(tree, scratch / "link");

    const RunOutput result = patchtree.run({logOption(), tree.string(), tree.string() + "/",
                                            (tree / "sub").string(), (scratch / "link").string()});
    EXPECT_EQ(result.exitCode, 0);

    int loneHanded = 0;
    for (const std::string& file : patchtree.childFiles()) {
        const std::string name = fs::path(file).filename().string();
        loneHanded += name == "h (Backup).ppt";
        EXPECT_TRUE(name == "h (Backup).ppt" || name.find("(Backup") == std::string::npos) << file;
    }
    EXPECT_EQ(loneHanded, 4);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(ReadFile(tree / ("f" + std::to_string(i) + " (Backup).ppt")),
                  "backup " + std::to_string(i));
        EXPECT_FALSE(fs::exists(tree / ("f" + std::to_string(i) + " (Backup 1).ppt")));
    }
    EXPECT_EQ(ReadFile(tree / "sub/g (Backup 1).ppt"), "backup g");
    EXPECT_FALSE(fs::exists(tree / "sub/g (Backup 2).ppt"));
}

// A later run (the next night's batch) over a tree with backups beside their originals hands
// only the originals to the repair and logs nothing for the backups. Only Patchdoc's own backup
// names count, and only while the original is there.
TEST_F(WalkTest, BackupsBesideTheirOriginalAreNeverRepaired) {
    fs::create_directories(tree / "deep/er");
    fs::create_directories(tree / "m.ppt");
    // m.ppt is a folder: it has no backups, but something of that name is there.
    for (const char* name : {"k.ppt", "k (Backup).ppt", "k (Backup 1).ppt", "k (Backup 9).ppt",
                             "deep/er/n.ppt", "deep/er/n (Backup 4).ppt", "m (Backup 2).ppt"}) {
        WriteFile(tree / name, "exit 2");
    }
    const std::vector<std::string> ordinary{
        "k (Backup 10).ppt",  "k (Backup 0).ppt", "k (backup).ppt",    "k(Backup).ppt",
        "k (Backup).ppt.ppt", "k (Backup) x.ppt", "gone (Backup).ppt", "deep/n (Backup).ppt",
        "m.ppt (Backup).ppt"};  // the backup of m.ppt.ppt
    for (const std::string& name : ordinary) {
        WriteFile(tree / name, "exit 2");
    }

    ASSERT_EQ(patchtree.run({logOption(), tree.string()}).exitCode, 0);
    std::vector<std::string> handed{(tree / "k.ppt").string(), (tree / "deep/er/n.ppt").string(),
                                    (tree / "m.ppt").string()};
    for (const std::string& name : ordinary) {
        handed.push_back((tree / name).string());
    }
    EXPECT_EQ(Sorted(patchtree.childFiles()), Sorted(handed));
    std::vector<std::string> lines;
    for (const std::string& file : handed) {
        lines.push_back((file == (tree / "m.ppt").string() ? "[err], " : "[ok], ") + file);
    }
    EXPECT_EQ(Sorted(SplitLines(ReadLogText(logs))), Sorted(lines));
}

}  // namespace
