// Drives the Patchdoc program itself and checks what it prints and its exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "ReadOnlyFolder.h"
#include "RunProgram.h"
#include "ScratchFolder.h"

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
    ProgramRun run(const std::vector<std::string>& arguments) {
        return RunProgram(PATCHDOC_PATH, arguments, temp_.path().string());
    }

    // A file that is not a presentation, in a folder of its own.
    std::filesystem::path notAPresentation(const std::string& folder, const std::string& name) {
        std::filesystem::create_directories(scratch_ / folder);
        const std::filesystem::path path = scratch_ / folder / name;
        WriteFileBytes(path, "This is not a presentation.\n");
        return path;
    }

    ScratchFolder scratch_;
    ScratchFolder temp_;  // the program's temporary folder
};

TEST_F(PatchdocTest, WrongNumberOfArguments) {
    for (const auto& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"-d", "a.ppt", "b.ppt"}}) {
        const ProgramRun result = run(arguments);
        EXPECT_EQ(result.output, "Invalid number of arguments.\n" + kUsage);
        EXPECT_EQ(result.exitCode, 1);
    }
}

TEST_F(PatchdocTest, OptionWithoutFile) {
    for (const auto& arguments :
         {std::vector<std::string>{"-d"}, std::vector<std::string>{"-d", "-d"}}) {
        const ProgramRun result = run(arguments);
        EXPECT_EQ(result.output, "The file to be repaired has not been specified.\n" + kUsage);
        EXPECT_EQ(result.exitCode, 1);
    }
}

TEST_F(PatchdocTest, TwoPathsAreInvalidEvenWhenTheyContainDashD) {
    for (const auto& arguments : {std::vector<std::string>{"a.ppt", "b.ppt"},
                                  std::vector<std::string>{"my-docs/a.ppt", "x-d"}}) {
        const ProgramRun result = run(arguments);
        EXPECT_EQ(result.output, "The arguments are invalid.\n" + kUsage);
        EXPECT_EQ(result.exitCode, 1);
    }
}

TEST_F(PatchdocTest, OptionBeforeOrAfterThePath) {
    const auto path = notAPresentation("talks", "a.ppt");
    for (const auto& arguments : {std::vector<std::string>{path.string(), "-d"},
                                  std::vector<std::string>{"-d", path.string()}}) {
        const ProgramRun result = run(arguments);
        EXPECT_EQ(result.output, "[err], " + kNotPowerPoint + path.string() + "\n");
        EXPECT_EQ(result.exitCode, 1);
    }
}

TEST_F(PatchdocTest, PathContainingDashDIsAPath) {
    const auto path = notAPresentation("my-docs", "2008-dec.ppt");
    const ProgramRun result = run({path.string()});
    EXPECT_EQ(result.output, "[err], " + kNotPowerPoint + path.string() + "\n");
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(PatchdocTest, NotAPresentationIsLeftAsItWasWithNothingBehind) {
    const auto path = notAPresentation("talks", "notes.ppt");
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const ProgramRun result = run({path.string()});
    EXPECT_EQ(result.exitCode, 1);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(ReadFileBytes(path), "This is not a presentation.\n");
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(CountTempFiles(path.parent_path()), 0);
    EXPECT_EQ(CountTempFiles(temp_.path()), 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1);
}

TEST_F(PatchdocTest, WhatIsNotARegularFileDoesNotExist) {
    std::filesystem::create_directory(scratch_ / "folder.ppt");
    ASSERT_EQ(::mkfifo((scratch_ / "fifo.ppt").c_str(), 0600), 0);
    for (const std::string& path :
         {(scratch_ / "missing.ppt").string(), (scratch_ / "folder.ppt").string(),
          (scratch_ / "fifo.ppt").string(), std::string("/dev/null")}) {
        const ProgramRun result = run({path});
        EXPECT_EQ(result.output, path + " does not exist.\n");
        EXPECT_EQ(result.exitCode, 1);
    }
}

TEST_F(PatchdocTest, OutputFileThatCannotBeCreatedIsAnError) {
    const auto path = notAPresentation("locked", "a.ppt");
    ReadOnlyFolder locked(path.parent_path());
    if (!locked.active()) {
        GTEST_SKIP() << "this file system cannot make a folder read-only for this user";
    }
    const ProgramRun result =
        RunProgram(PATCHDOC_PATH, {path.string()}, (temp_ / "missing").string());
    EXPECT_EQ(result.output,
              "[err], Temporary file creation failed [HRESULT(80070002) - No such file or "
              "directory]" +
                  path.string() + "\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ReadFileBytes(path), "This is not a presentation.\n");
}

// Whatever the outcome for a real presentation, a file is changed only on exit code 0, then
// with its old bytes in the backup, and no temporary file stays behind.
TEST_F(PatchdocTest, CorpusFilesChangeOnlyWhenRepaired) {
    const char* corpus = std::getenv("PATCH_CORPUS");
    if (corpus == nullptr || !std::filesystem::is_directory(corpus)) {
        GTEST_SKIP() << "no corpus folder (PATCH_CORPUS)";
    }
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".md") {
            continue;
        }
        SCOPED_TRACE(name);
        const std::filesystem::path folder = scratch_ / name;
        std::filesystem::create_directory(folder);
        const std::string original = ReadFileBytes(entry.path());
        WriteFileBytes(folder / name, original);
        const ProgramRun result = run({(folder / name).string()});
        ASSERT_GE(result.output.size(), (folder / name).string().size() + 1);
        EXPECT_EQ(result.output.substr(result.output.size() - name.size() - 1), name + "\n");
        EXPECT_EQ(CountTempFiles(folder), 0);
        EXPECT_EQ(CountTempFiles(temp_.path()), 0);
        if (result.exitCode == 0) {
            EXPECT_EQ(ReadFileBytes(folder / (entry.path().stem().string() + " (Backup)" +
                                              entry.path().extension().string())),
                      original);
        } else {
            EXPECT_TRUE(result.exitCode == 1 || result.exitCode == 2) << result.exitCode;
            EXPECT_EQ(ReadFileBytes(folder / name), original);
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
        }
    }
}

}  // namespace
