// What a Windows user sees of the two programs and of the platform services under them: share
// modes, the replacement and its backup, read-only files, UTF-8 output with CR LF, Unicode names,
// command lines, the log's default folder, the trace file and paths past 260 characters.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "ScratchFolder.h"
#include "batch/LogWriter.h"
#include "platform/Env.h"
#include "platform/ReadableFile.h"
#include "platform/WindowsSupport.h"
#include "support/Deck.h"
#include "support/Records.h"
#include "support/RunProgram.h"
#include "support/TestSystem.h"

namespace fs = std::filesystem;
using winsupport::Handle;
using winsupport::Win32Path;

namespace {

winsupport::FileState StateOf(const fs::path& path) {
    Handle handle;
    winsupport::FileState state;
    EXPECT_EQ(winsupport::OpenForAttributes(path, &handle), 0) << path;
    EXPECT_EQ(winsupport::QueryState(handle.get(), &state), 0) << path;
    return state;
}

void WriteFlattened(const fs::path& path) {
    fixtures::buildDeck({{{fixtures::oleShape(1025, 1, true)}}, {}}).writeTo(path);
}

Handle Open(const fs::path& path, DWORD access, DWORD share) {
    return Handle(::CreateFileW(Win32Path(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The UTF-16LE text after the byte-order mark, as UTF-8 by the system's own conversion.
std::string LogText(const fs::path& log) {
    const std::string bytes = ReadFileBytes(log);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << log;
    return fixtures::Utf16LEToUtf8(bytes.substr(2)).value_or("(not UTF-16LE)");
}

// The path as the batch program writes it: forward slashes.
std::string Slashed(const fs::path& path) {
    std::string text = path.u8string();
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

fixtures::RunOutput Patchdoc(const std::vector<std::string>& arguments) {
    return fixtures::Run(PATCHDOC_PROGRAM, arguments);
}

// A flattened presentation "talk.ppt" in a scratch folder.
class WindowsTalkTest : public ::testing::Test {
protected:
    WindowsTalkTest() { WriteFlattened(file); }
    ScratchFolder scratch;
    const fs::path file = scratch / "talk.ppt";
};
using WindowsShareTest = WindowsTalkTest;
using WindowsReplaceTest = WindowsTalkTest;

TEST_F(WindowsShareTest, APinnedFileIsReadByOthersButWrittenByNobody) {
    const std::unique_ptr<PinnedFile> pinned = Env::Default().pinFile(file);
    std::unique_ptr<ReadableFile> reader;
    ASSERT_EQ(pinned->openReader(&reader), 0);
    EXPECT_TRUE(Open(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE).valid());
    EXPECT_FALSE(Open(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE).valid());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST_F(WindowsShareTest, AFileAnotherProgramWritesIsLeftAloneWithTheSharingViolation) {
    const std::string before = ReadFileBytes(file);
    const Handle writer =
        Open(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(writer.valid());
    const fixtures::RunOutput run = Patchdoc({file.u8string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.rfind("[err], OLE storage sharing violation", 0), 0u) << run.out;
    EXPECT_EQ(ReadFileBytes(file), before);
    EXPECT_FALSE(fs::exists(scratch / "talk (Backup).ppt"));
}

// The repaired file takes the name with the original's attributes; the backup is the original
// file itself, times and all.
TEST_F(WindowsReplaceTest, TheRepairedFileKeepsAttributesAndTheBackupIsTheOriginal) {
    ASSERT_TRUE(::SetFileAttributesW(Win32Path(file).c_str(),
                                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    const winsupport::FileState original = StateOf(file);

    const fixtures::RunOutput run = Patchdoc({file.u8string()});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, "[fixed], " + file.u8string() + "\r\n");
    const winsupport::FileState backup = StateOf(scratch / "talk (Backup).ppt");
    EXPECT_TRUE(backup.sameFile(original));
    EXPECT_EQ(backup.lastWriteTime, original.lastWriteTime);
    EXPECT_EQ(backup.size, original.size);
    const winsupport::FileState repaired = StateOf(file);
    EXPECT_FALSE(repaired.sameFile(original));
    EXPECT_NE(repaired.attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(repaired.links, 1u);
    EXPECT_EQ(CountTempFiles(scratch.path()), 0);
}

// The copy over a read-only file fails with the system's error 5 after the backup was made, and
// the file keeps its bytes.
TEST_F(WindowsReplaceTest, AReadOnlyFileIsRefusedWithErrorFive) {
    const std::string before = ReadFileBytes(file);
    ASSERT_TRUE(::SetFileAttributesW(Win32Path(file).c_str(), FILE_ATTRIBUTE_READONLY));
    const fixtures::RunOutput run = Patchdoc({file.u8string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Backup failed with error code 5. Your file has not been modified.\r\n" +
                           file.u8string() + "\r\n");
    EXPECT_EQ(ReadFileBytes(file), before);
    EXPECT_EQ(ReadFileBytes(scratch / "talk (Backup).ppt"), before);
    ::SetFileAttributesW(Win32Path(file).c_str(), FILE_ATTRIBUTE_NORMAL);
    ::SetFileAttributesW(Win32Path(scratch / "talk (Backup).ppt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsTextTest, UnicodeNamesAreRepairedAndPrintedAsUtf8WithCrLf) {
    ScratchFolder scratch;
    const fs::path folder = scratch / "Pr\xC3\xA4sentationen \xE4\xB8\xAD";
    fs::create_directory(folder);
    const fs::path file = folder / fs::u8path("caf\xC3\xA9 \xD0\xB4\xD0\xB0.ppt");
    WriteFlattened(file);
    const fixtures::RunOutput run = Patchdoc({"-d", file.u8string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "[fixed], " + file.u8string() + "\r\n");
    const fixtures::RunOutput again = Patchdoc({file.u8string()});
    EXPECT_EQ(again.out, "[ok], " + file.u8string() + "\r\n");
    EXPECT_EQ(Patchdoc({(folder / "missing \xE2\x82\xAC.ppt").u8string()}).out,
              (folder / "missing \xE2\x82\xAC.ppt").u8string() + " does not exist.\r\n");
}

// Each argument reaches the child exactly, whatever blanks, quotes and backslashes it holds.
TEST(WindowsProcessTest, EveryArgumentArrivesUnchanged) {
    ScratchFolder scratch;
    const fs::path record = scratch / "record";
    fixtures::SetVariable("PATCHTREE_TEST_RECORD", record.u8string());
    const std::vector<std::string> arguments = {
        "-d",
        "with space",
        "trailing\\",
        "trailing space\\",
        "quote\"inside",
        "\\\"x\\\\\"",
        "tab\there",
        "",
        "caf\xC3\xA9 \xE4\xB8\xAD",
        "a\\\\b c",
        (scratch / "f.ppt").u8string(),
    };
    WriteFileBytes(scratch / "f.ppt", "exit 7");
    const ProcessResult result = Env::Default().runProcess(STAND_IN_PROGRAM, arguments);
    fixtures::SetVariable("PATCHTREE_TEST_RECORD", std::nullopt);
    EXPECT_EQ(result.startError, 0);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exitStatus, 7);
    std::string expected = std::to_string(arguments.size()) + '\0';
    for (const std::string& argument : arguments) {
        expected += argument + '\0';
    }
    EXPECT_EQ(ReadFileBytes(record), expected);
}

// Without "-l:" the log goes to c:\Brambleco\, made when missing. A tree deeper than 260
// characters, its folder argument typed with backslashes, is walked and its file repaired, and
// the log shows its path with forward slashes.
TEST(WindowsBatchTest, DeepTreeIsRepairedAndLoggedInCBramblecoByDefault) {
    ScratchFolder scratch;
    fs::path deep = scratch / "tree";
    ASSERT_TRUE(::CreateDirectoryW(Win32Path(deep).c_str(), nullptr));
    while (deep.u8string().size() < 300) {
        deep /= "a folder name of forty characters here";
        ASSERT_TRUE(::CreateDirectoryW(Win32Path(deep).c_str(), nullptr)) << ::GetLastError();
    }
    const fs::path file = deep / "deep.ppt";
    WriteFlattened(fs::path(Win32Path(file)));
    const bool existed = fs::exists("c:\\Brambleco");
    const fixtures::RunOutput run =
        fixtures::Run(PATCHTREE_PROGRAM, {(scratch / "tree").u8string()});
    EXPECT_EQ(run.exitCode, 0);
    const std::string summary = "1 file: 1 fixed, 0 ok, 0 failed. Log: ";
    const std::string out = fixtures::WithLineFeeds(run.out);
    const std::size_t at = out.find(summary + "c:\\Brambleco\\");
    ASSERT_NE(at, std::string::npos) << out;
    const fs::path log =
        fs::u8path(out.substr(at + summary.size(), out.find('\n', at) - at - summary.size()));
    EXPECT_EQ(LogText(log), "[fixed], " + Slashed(file) + "\r\n");
    EXPECT_TRUE(fs::exists(fs::path(Win32Path(deep / "deep (Backup).ppt"))));
    fs::remove(log);
    if (!existed) {
        fs::remove("c:\\Brambleco");
    }
    std::error_code ignored;  // the scratch folder's own removal can't reach that deep
    fs::remove_all(fs::path(Win32Path(scratch / "tree")), ignored);
}

// Without a log path the writer falls back to KVTrace.txt in the documents folder.
TEST(WindowsBatchTest, WithoutALogPathTheLinesGoToTheTraceFile) {
    const fs::path documents = Env::Default().documentsFolder();
    ASSERT_FALSE(documents.empty());
    fs::create_directories(documents);
    const fs::path trace = documents / "KVTrace.txt";
    const std::string before = fs::exists(trace) ? ReadFileBytes(trace) : std::string();
    AppendLogLine("[ok], c:/x.ppt\n");
    EXPECT_EQ(fs::path(LogPath()).lexically_normal(), trace.lexically_normal());
    const std::string after = ReadFileBytes(trace);
    const std::string line("[\0o\0k\0]\0,\0 \0c\0:\0/\0x\0.\0p\0p\0t\0\r\0\n\0", 32);
    EXPECT_EQ(after, (before.empty() ? std::string("\xFF\xFE") : before) + line);
    if (before.empty()) {
        fs::remove(trace);
    } else {
        WriteFileBytes(trace, before);
    }
}

}  // namespace
