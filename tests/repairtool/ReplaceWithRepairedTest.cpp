// Replacing a file with its repaired version, the backup made first, and what an interrupted
// replacement leaves.
#include "ReplaceWithRepairedTest.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "support/TestSystem.h"

#include "platform/MemoryReadableFile.h"
#include "repairtool/FileContent.h"
#include "repairtool/InterruptedRepair.h"
#include "repairtool/MakeBackupName.h"

namespace {

using namespace replacetest;

// The suffix goes before the last dot of the file name, and counts up to 9; with all ten names
// taken the file is left alone.
TEST_F(BackupTest, NamesCountUpToNineBeforeTheLastDot) {
    const std::pair<fs::path, fs::path> names[] = {
        {scratch_ / "notes", scratch_ / "notes (Backup)"},
        {scratch_ / "a.b.ppt", scratch_ / "a.b (Backup).ppt"},
        {scratch_ / "v1.2" / "readme", scratch_ / "v1.2" / "readme (Backup)"},
        {"talk.ppt", "talk (Backup).ppt"}};
    for (const auto& [file, backup] : names) {
        EXPECT_EQ(MakeBackupName(file), backup);
    }
    for (int i = 0; i <= 9; ++i) {
        const fs::path name =
            scratch_ / ("talk (Backup" + (i > 0 ? " " + std::to_string(i) : "") + ").ppt");
        EXPECT_EQ(MakeBackupName(file_), name);
        WriteFileBytes(name, "");
    }
    EXPECT_EQ(MakeBackupName(file_), fs::path());
    WriteFileBytes(file_, "old");
    auto repaired = Repaired(scratch_.path(), "new");
    EXPECT_FALSE(replace(file_, *repaired, true));
    EXPECT_EQ(message_,
              "Could not generate a suitable backup file name. Your file has not been "
              "modified.\n");
    EXPECT_EQ(ReadFileBytes(file_), "old");
}

// The repaired file is renamed over the original where it was made beside it; made elsewhere
// (the folder took no new file) or for a file with a second name, it is copied over the
// original in place, after a backup or a kept copy that is gone once the copy is complete (where
// it can be recognised as the file's). The mode stays, and no temporary file is left.
TEST_F(ReplaceWithRepairedTest, RepairedFileIsRenamedOverTheOriginalOrCopiedInPlace) {
    const struct {
        bool linked, inTemp, backup;
    } cases[] = {{false, false, false}, {false, true, true}, {true, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.linked) + std::to_string(c.inTemp) +
                     std::to_string(c.backup));
        fresh(c.linked);
        fs::permissions(file_, fs::perms(0640));
        const fs::perms mode = fs::status(file_).permissions();
        const FileIdentity original = IdentityOf(file_);
        auto repaired = Repaired(c.inTemp ? temp_.path() : scratch_.path(), "new");
        const FileIdentity made = IdentityOf(repaired->path());
        const bool inPlace = c.linked || c.inTemp;
        ASSERT_TRUE(replace(file_, *repaired, c.backup)) << message_;
        EXPECT_EQ(repaired->path().empty(), !inPlace);
        repaired.reset();
        EXPECT_EQ(ReadFileBytes(file_), "new");
        EXPECT_TRUE(IdentityOf(file_) == (inPlace ? original : made));
        EXPECT_EQ(fs::status(file_).permissions(), mode);
        std::vector<std::string> names{"talk.ppt"};
        if (c.backup) {
            EXPECT_EQ(ReadFileBytes(scratch_ / "talk (Backup).ppt"), "old");
            EXPECT_EQ(fs::status(scratch_ / "talk (Backup).ppt").permissions(), mode);
            names.insert(names.begin(), "talk (Backup).ppt");
        }
        if (c.linked) {
            EXPECT_EQ(ReadFileBytes(scratch_ / "other.ppt"), "new");
            names.insert(names.begin(), "other.ppt");
            if (!RecordsCopies(false)) {
                names.push_back("talk.ppt.patchdoc-original");
            }
        }
        EXPECT_EQ(Names(scratch_.path()), names);
        EXPECT_EQ(CountTempFiles(temp_.path()), 0);
    }
}

// The backup, made first, stays behind: it holds the original's bytes.
TEST_F(ReplaceWithRepairedTest, ReadOnlyOriginalIsRefused) {
    for (const bool backup : {true, false}) {
        fresh();
        fs::permissions(file_, fs::perms(0444));
        auto repaired = Repaired(scratch_.path(), "new");
        EXPECT_FALSE(replace(file_, *repaired, backup));
        EXPECT_EQ(refusal(), Env::ErrorKind::AccessDenied) << message_;
        EXPECT_EQ(ReadFileBytes(file_), "old");
        repaired.reset();
        if (backup) {
            EXPECT_EQ(ReadFileBytes(scratch_ / "talk (Backup).ppt"), "old");
        }
        EXPECT_EQ(Names(scratch_.path()).size(), backup ? 2u : 1u);
    }
    fresh();  // removable again
}

// A reader that opens the file again and again while it is replaced must find either the whole
// old content or the whole new one (or, on Windows, no file for a moment). A round that finds
// the file open is refused as in use (by the system's sharing violation on Windows).
TEST_F(ReplaceWithRepairedTest, ReadersNeverSeeAMixOfOldAndNew) {
    const std::size_t size = 1 << 20;
    WriteFileBytes(file_, std::string(size, 'A'));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, missing{0}, reads{0};  // missing: reads that found no file
    std::thread reader([&] {
        while (!done) {
            const auto start = std::chrono::steady_clock::now();
            const std::string bytes = ReadFileBytes(file_);
            missing += bytes.empty() ? 1 : 0;
            torn += bytes.empty() || (bytes.size() == size &&
                                      bytes.find_first_not_of(bytes[0]) == std::string::npos)
                        ? 0
                        : 1;
            ++reads;
            // An open file is rightly not replaced: the reader lets go as long as it held on,
            // so about half of the tries find it closed however slow the build is.
            std::this_thread::sleep_for(std::chrono::steady_clock::now() - start);
        }
    });
    int replaced = 0;
    char current = 'A';
    for (int round = 0; round < 400 && replaced < 10; ++round) {
        const char next = current == 'A' ? 'B' : 'A';
        auto repaired = Repaired(scratch_.path(), std::string(size, next));
        if (replace(file_, *repaired, false)) {
            ++replaced;
            current = next;
        } else {
            EXPECT_TRUE(message_ == kInUse || refusal() == Env::ErrorKind::LockConflict)
                << message_;
        }
    }
    EXPECT_GT(replaced, 0);
    while (reads < 20) {
        std::this_thread::yield();
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    if (fixtures::kNameReplacedAtOnce) {
        EXPECT_EQ(missing, 0) << "of " << reads << " reads";
    }
}

// A run stopped between naming the backup and renaming leaves the original and its backup as
// two names of one file. A later run must not take that for a hard-linked file: the backup's
// bytes stay the original's, with or without a new backup, and with a further name that does
// call for an overwrite in place.
TEST_F(ReplaceWithRepairedTest, BackupNamesOfAnInterruptedRunKeepTheOriginal) {
    for (const bool backup : {false, true}) {
        for (const bool thirdName : {false, true}) {
            SCOPED_TRACE(std::to_string(backup) + std::to_string(thirdName));
            fresh(thirdName);
            fs::create_hard_link(file_, scratch_ / "talk (Backup).ppt");
            auto repaired = Repaired(scratch_.path(), "new");
            ASSERT_TRUE(replace(file_, *repaired, backup)) << message_;
            EXPECT_EQ(ReadFileBytes(file_), "new");
            EXPECT_EQ(ReadFileBytes(scratch_ / "talk (Backup).ppt"), "old");
            if (backup) {
                EXPECT_EQ(ReadFileBytes(scratch_ / "talk (Backup 1).ppt"), "old");
            }
            if (thirdName) {
                EXPECT_EQ(ReadFileBytes(scratch_ / "other.ppt"), "new");
            }
        }
    }
}

using InterruptedRepairTest = ReplaceWithRepairedTest;

// A run is stopped after making its copy of "talk.ppt" (second name "other.ppt"), with the file
// left in one of the states an overwrite passes through: untouched, cut short, complete, put
// back. Run on the file's other name, an overwrite cut short is reported with the copy's place,
// kept copy or backup alike; a copy that is no longer needed is forgotten, a kept one deleted,
// except by a check, which gives the same answer and deletes nothing.
TEST_F(InterruptedRepairTest, OnlyAnOverwriteCutShortIsReportedOnAnyName) {
    if (!RecordsCopies()) {
        GTEST_SKIP() << "this file system keeps no record of a copy";
    }
    const std::string original = "original bytes of the presentation";
    const std::string repaired = "repaired bytes";
    const std::string states[] = {original, repaired.substr(0, 6) + original.substr(6), repaired,
                                  original};
    using Kind = PinnedFile::CopyKind;
    const std::pair<fs::path, Kind> copies[] = {
        {scratch_ / "talk.ppt.patchdoc-original", Kind::Kept},
        {temp_ / "talk.ppt.patchdoc-original", Kind::Kept},
        {scratch_ / "talk (Backup).ppt", Kind::Backup}};
    for (const auto& [copy, kind] : copies) {
        for (std::size_t state = 0; state < std::size(states); ++state) {
            SCOPED_TRACE(copy.u8string() + ", state " + std::to_string(state));
            fresh(true);
            WriteFileBytes(file_, original);
            MemoryReadableFile content(std::vector<std::uint8_t>(repaired.begin(), repaired.end()));
            ASSERT_EQ(Env::Default().pinFile(file_)->keepCopy(copy, kind, ContentDigest(content)),
                      0);
            if (state > 0) {
                WriteFileBytes(file_, states[state]);
            }
            const std::string checked = InterruptedRepair(*Env::Default().pinFile(file_), false);
            EXPECT_TRUE(fs::exists(copy));
            const std::string message =
                InterruptedRepair(*Env::Default().pinFile(scratch_ / "other.ppt"));
            EXPECT_EQ(checked, message);
            if (state == 1) {
                EXPECT_EQ(message,
                          "An earlier repair of this file was interrupted; its original content "
                          "is in " +
                              copy.u8string() +
                              ". Put that file back in place of this one, or delete it, and run "
                              "again. ");
                EXPECT_EQ(InterruptedRepair(*Env::Default().pinFile(file_)), message);
            } else {
                EXPECT_EQ(message, "");
                EXPECT_EQ(fs::exists(copy), kind == Kind::Backup);
            }
            fs::remove(copy);
        }
    }
}

}  // namespace
