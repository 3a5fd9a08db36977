// Drives the Patchdoc program itself and checks what it prints and its exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "ReadOnlyFolder.h"
#include "ScratchFolder.h"
#include "support/Deck.h"
#include "support/Records.h"
#include "support/RunProgram.h"

using fixtures::RunOutput;
namespace fs = std::filesystem;

namespace {

const std::string kUsage =
    "\n\nUsage: Patchdoc [-d] file_to_repair.ppt\n\nOption: -d\tDisable the creation of a backup "
    "file\n\nReturn values: \n0\tThe repair was successful\n1\tAn error occurred\n2\tNo repair "
    "was necessary\n";
const std::string kNotPowerPoint =
    "The selected file is not a PowerPoint 97-2003 PPT file. This tool can only repair PPT "
    "files.";

class PatchdocTest : public ::testing::Test {
protected:
    // Runs Patchdoc with the temporary folder `tmpdir`, by default the test's own.
    RunOutput run(const std::vector<std::string>& arguments, std::string tmpdir = {},
                  fixtures::StandardOutput output = fixtures::StandardOutput::File) {
        fixtures::RunOptions options;
        options.standardOutput = output;
        options.environment = {"TMPDIR=" + (tmpdir.empty() ? temp_.path().string() : tmpdir)};
        return fixtures::Run(PATCHDOC_PATH, arguments, options);
    }

    // A file that is not a presentation, in a folder of its own.
    fs::path notAPresentation(const std::string& folder, const std::string& name) {
        fs::create_directories(scratch_ / folder);
        const fs::path path = scratch_ / folder / name;
        WriteFileBytes(path, "This is not a presentation.\n");
        return path;
    }

    ScratchFolder scratch_;
    ScratchFolder temp_;  // the program's temporary folder
};

TEST_F(PatchdocTest, ArgumentsThatNameNoSingleFilePrintTheUsage) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "Invalid number of arguments."},
        {{"-d", "a.ppt", "b.ppt"}, "Invalid number of arguments."},
        {{"-d"}, "The file to be repaired has not been specified."},
        {{"-d", "-d"}, "The file to be repaired has not been specified."},
        {{"a.ppt", "b.ppt"}, "The arguments are invalid."},
        {{"my-docs/a.ppt", "x-d"}, "The arguments are invalid."},  // even when they contain -d
        // A third argument only beside "-n", and still one path.
        {{"-n"}, "The file to be repaired has not been specified."},
        {{"-n", "a.ppt", "b.ppt"}, "The arguments are invalid."},
        {{"-n", "-d", "a.ppt", "b.ppt"}, "Invalid number of arguments."},
    };
    for (const auto& [arguments, first] : cases) {
        const RunOutput result = run(arguments);
        EXPECT_EQ(result.out, first + "\n" + kUsage);
        EXPECT_EQ(result.exitCode, 1);
    }
}

// The option may stand before or after the path, and a path containing "-d" is a path. A file
// that is not a presentation is left as it was, and nothing stays behind.
TEST_F(PatchdocTest, NotAPresentationIsReportedAndLeftAsItWas) {
    const fs::path talk = notAPresentation("talks", "a.ppt");
    const fs::path dashed = notAPresentation("my-docs", "2008-dec.ppt");
    struct stat before {};
    ASSERT_EQ(::stat(dashed.c_str(), &before), 0);
    for (const auto& [arguments, path] : std::vector<std::pair<std::vector<std::string>, fs::path>>{
             {{talk, "-d"}, talk}, {{"-d", talk}, talk}, {{dashed}, dashed}}) {
        const RunOutput result = run(arguments);
        EXPECT_EQ(result.out, "[err], " + kNotPowerPoint + path.string() + "\n");
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(ReadFileBytes(path), "This is not a presentation.\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), {}), 1);
        EXPECT_EQ(CountTempFiles(temp_.path()), 0);
    }
    struct stat after {};
    ASSERT_EQ(::stat(dashed.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST_F(PatchdocTest, WhatIsNotARegularFileDoesNotExist) {
    fs::create_directory(scratch_ / "folder.ppt");
    ASSERT_EQ(::mkfifo((scratch_ / "fifo.ppt").c_str(), 0600), 0);
    for (const std::string& path :
         {(scratch_ / "missing.ppt").string(), (scratch_ / "folder.ppt").string(),
          (scratch_ / "fifo.ppt").string(), std::string("/dev/null")}) {
        const RunOutput result = run({path});
        EXPECT_EQ(result.out, path + " does not exist.\n");
        EXPECT_EQ(result.exitCode, 1);
    }
}

// On a terminal control characters of the path show as '?'; a pipe or file gets the bytes.
TEST_F(PatchdocTest, PathsAreSafeOnATerminal) {
    const fs::path missing = scratch_ / "gone\x1b[2J\n.ppt";
    const std::string shown = (scratch_ / "gone?[2J?.ppt").string();
    EXPECT_EQ(run({missing}, {}, fixtures::StandardOutput::Terminal).out,
              shown + " does not exist.\n");
    EXPECT_EQ(run({missing}).out, missing.string() + " does not exist.\n");

    const fs::path talk = notAPresentation("talks", "a\tb\x7f.ppt");
    const RunOutput terminal = run({talk}, {}, fixtures::StandardOutput::Terminal);
    EXPECT_EQ(terminal.out,
              "[err], " + kNotPowerPoint + (scratch_ / "talks/a?b?.ppt").string() + "\n");
    EXPECT_EQ(terminal.exitCode, 1);

    // A damaged compound file: the message quotes the path too, and a C1 control counts.
    const fs::path damaged = scratch_ /
                             "cf\x1b[2J\xC2\x9B"
                             "2Jx.ppt";
    WriteFileBytes(damaged, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(600, '\x01'));
    const std::string shownPath = (scratch_ / "cf?[2J?2Jx.ppt").string();
    EXPECT_EQ(run({damaged}, {}, fixtures::StandardOutput::Terminal).out,
              "[err], General exception [HRESULT(80030109) - opening storage [" + shownPath + "]]" +
                  shownPath + "\n");
}

// A console that went away changes nothing: the file is repaired and replaced, the backup made,
// the exit code is 0 and no temporary file stays behind.
TEST_F(PatchdocTest, ClosedOutputPipeChangesNoOutcome) {
    const fs::path file = scratch_ / "deck.ppt";
    fixtures::buildDeck({{{fixtures::oleShape(1025, 1, true)}}, {}}).writeTo(file);
    const std::string original = ReadFileBytes(file);
    const RunOutput result = run({file}, {}, fixtures::StandardOutput::ClosedPipe);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(ReadFileBytes(file), original);
    EXPECT_EQ(ReadFileBytes(scratch_ / "deck (Backup).ppt"), original);
    EXPECT_EQ(CountTempFiles(scratch_.path()), 0);
    EXPECT_EQ(CountTempFiles(temp_.path()), 0);
    // Nothing left to repair: still the same exit code as on a console.
    EXPECT_EQ(run({"-d", file}, {}, fixtures::StandardOutput::ClosedPipe).exitCode, 2);
}

// The output is needed only for a file that needs repair.
TEST_F(PatchdocTest, OutputFileThatCannotBeCreatedIsAnError) {
    fs::create_directories(scratch_ / "locked");
    const fs::path path = scratch_ / "locked" / "a.ppt";
    const fixtures::Bytes flattened =
        fixtures::buildDeck({{{fixtures::oleShape(1025, 1, true)}}, {}}).compoundFile();
    fixtures::writeFile(path, flattened);
    ReadOnlyFolder locked(path.parent_path());
    if (!locked.active()) {
        GTEST_SKIP() << "this file system cannot make a folder read-only for this user";
    }
    const RunOutput result = run({path.string()}, (temp_ / "missing").string());
    EXPECT_EQ(result.out,
              "[err], Temporary file creation failed [HRESULT(80070002) - No such file or "
              "directory]" +
                  path.string() + "\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(fixtures::readFile(path), flattened);
}

// Whatever the outcome for a real presentation, a file is changed only on exit code 0, then
// with its old bytes in the backup, and no temporary file stays behind.
TEST_F(PatchdocTest, CorpusFilesChangeOnlyWhenRepaired) {
    const char* corpus = std::getenv("PATCH_CORPUS");
    if (corpus == nullptr || !fs::is_directory(corpus)) {
        GTEST_SKIP() << "no corpus folder (PATCH_CORPUS)";
    }
    for (const auto& entry : fs::directory_iterator(corpus)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".md") {
            continue;
        }
        SCOPED_TRACE(name);
        const fs::path folder = scratch_ / name;
        fs::create_directory(folder);
        const std::string original = ReadFileBytes(entry.path());
        WriteFileBytes(folder / name, original);
        const RunOutput result = run({(folder / name).string()});
        ASSERT_GE(result.out.size(), (folder / name).string().size() + 1);
        EXPECT_EQ(result.out.substr(result.out.size() - name.size() - 1), name + "\n");
        EXPECT_EQ(CountTempFiles(folder), 0);
        EXPECT_EQ(CountTempFiles(temp_.path()), 0);
        if (result.exitCode == 0) {
            EXPECT_EQ(ReadFileBytes(folder / (entry.path().stem().string() + " (Backup)" +
                                              entry.path().extension().string())),
                      original);
        } else {
            EXPECT_TRUE(result.exitCode == 1 || result.exitCode == 2) << result.exitCode;
            EXPECT_EQ(ReadFileBytes(folder / name), original);
            EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
        }
    }
}

}  // namespace
