// Replacing a file with its repaired version, and the backup made first.
#include "ReplaceWithRepairedTest.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "support/TestSystem.h"

#include "repairtool/MakeBackupName.h"

namespace {

using namespace replacetest;

TEST_F(BackupTest, NamesCountUpToNine) {
    EXPECT_EQ(MakeBackupName(file_), scratch_ / "talk (Backup).ppt");
    WriteFileBytes(scratch_ / "talk (Backup).ppt", "");
    EXPECT_EQ(MakeBackupName(file_), scratch_ / "talk (Backup 1).ppt");
    for (int i = 1; i <= 8; ++i) {
        WriteFileBytes(scratch_ / ("talk (Backup " + std::to_string(i) + ").ppt"), "");
    }
    EXPECT_EQ(MakeBackupName(file_), scratch_ / "talk (Backup 9).ppt");
    WriteFileBytes(scratch_ / "talk (Backup 9).ppt", "");
    EXPECT_EQ(MakeBackupName(file_), fs::path());

    WriteFileBytes(file_, "old");
    auto repaired = Repaired(scratch_.path(), "new");
    EXPECT_FALSE(replace(file_, *repaired, true));
    EXPECT_EQ(message_,
              "Could not generate a suitable backup file name. Your file has not been "
              "modified.\n");
    EXPECT_EQ(ReadFileBytes(file_), "old");
}

TEST_F(BackupTest, SuffixGoesBeforeTheLastDotOfTheFileNameOnly) {
    EXPECT_EQ(MakeBackupName(scratch_ / "notes"), scratch_ / "notes (Backup)");
    EXPECT_EQ(MakeBackupName(scratch_ / "a.b.ppt"), scratch_ / "a.b (Backup).ppt");
    EXPECT_EQ(MakeBackupName(scratch_ / "v1.2" / "readme"), scratch_ / "v1.2" / "readme (Backup)");
    EXPECT_EQ(MakeBackupName("talk.ppt"), fs::path("talk (Backup).ppt"));
}

TEST_F(ReplaceWithRepairedTest, RepairedFileNextToTheOriginalIsRenamedOverIt) {
    WriteFileBytes(file_, "old");
    fs::permissions(file_, fs::perms(0640));
    const fs::perms mode = fs::status(file_).permissions();
    auto repaired = Repaired(scratch_.path(), "new");
    const FileIdentity repairedFile = IdentityOf(repaired->path());
    ASSERT_TRUE(replace(file_, *repaired, false)) << message_;
    EXPECT_EQ(ReadFileBytes(file_), "new");
    EXPECT_TRUE(IdentityOf(file_) == repairedFile);
    EXPECT_EQ(fs::status(file_).permissions(), mode);
    EXPECT_TRUE(repaired->path().empty());
    EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
}

// The folder took no new file when the output was made: the file is overwritten in place, after
// its backup copy.
TEST_F(ReplaceWithRepairedTest, RepairedFileElsewhereIsCopiedInPlace) {
    WriteFileBytes(file_, "old");
    fs::permissions(file_, fs::perms(0604));
    const fs::perms mode = fs::status(file_).permissions();
    const FileIdentity original = IdentityOf(file_);
    {
        auto repaired = Repaired(temp_.path(), "new");
        ASSERT_TRUE(replace(file_, *repaired, true)) << message_;
    }
    EXPECT_TRUE(IdentityOf(file_) == original);
    EXPECT_EQ(ReadFileBytes(file_), "new");
    EXPECT_EQ(ReadFileBytes(scratch_ / "talk (Backup).ppt"), "old");
    EXPECT_EQ(fs::status(scratch_ / "talk (Backup).ppt").permissions(), mode);
    EXPECT_EQ(Names(scratch_.path()), (std::vector<std::string>{"talk (Backup).ppt", "talk.ppt"}));
    EXPECT_EQ(CountTempFiles(temp_.path()), 0);
}

// The backup, made first, stays behind: it holds the original's bytes.
TEST_F(ReplaceWithRepairedTest, ReadOnlyOriginalIsRefused) {
    WriteFileBytes(file_, "old");
    for (const bool backup : {true, false}) {
        fs::permissions(file_, fs::perms(0444));  // the backup's removal below may have reset it
        auto repaired = Repaired(scratch_.path(), "new");
        EXPECT_FALSE(replace(file_, *repaired, backup));
        EXPECT_EQ(refusal(), Env::ErrorKind::AccessDenied) << message_;
        EXPECT_EQ(ReadFileBytes(file_), "old");
        repaired.reset();
        if (backup) {
            EXPECT_EQ(Names(scratch_.path()),
                      (std::vector<std::string>{"talk (Backup).ppt", "talk.ppt"}));
            EXPECT_EQ(ReadFileBytes(scratch_ / "talk (Backup).ppt"), "old");
            fs::permissions(scratch_ / "talk (Backup).ppt", fs::perms::owner_write,
                            fs::perm_options::add);
            fs::remove(scratch_ / "talk (Backup).ppt");
        } else {
            EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
        }
    }
    fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add);  // removable again
}

TEST_F(ReplaceWithRepairedTest, HardLinkedFileKeepsAllItsNames) {
    WriteFileBytes(file_, "old");
    fs::create_hard_link(file_, scratch_ / "same.ppt");
    {
        auto repaired = Repaired(scratch_.path(), "new");
        ASSERT_TRUE(replace(file_, *repaired, false)) << message_;
    }
    EXPECT_EQ(ReadFileBytes(file_), "new");
    EXPECT_EQ(ReadFileBytes(scratch_ / "same.ppt"), "new");
    // The copy kept during the overwrite is gone, where it could be recognised as the file's.
    std::vector<std::string> names{"same.ppt", "talk.ppt"};
    if (!RecordsCopies(false)) {
        names.push_back("talk.ppt.patchdoc-original");
    }
    EXPECT_EQ(Names(scratch_.path()), names);
}

// A reader that opens the file again and again while it is replaced must find either the whole
// old content or the whole new one (or, on Windows, no file for a moment). A round that finds
// the file open is refused as in use (by the system's sharing violation on Windows).
TEST_F(ReplaceWithRepairedTest, ReadersNeverSeeAMixOfOldAndNew) {
    const std::size_t size = 1 << 20;
    WriteFileBytes(file_, std::string(size, 'A'));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> missing{0};  // reads that found no file
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!done) {
            const std::string bytes = ReadFileBytes(file_);
            const bool whole =
                bytes.size() == size && bytes.find_first_not_of(bytes[0]) == std::string::npos;
            torn += whole || bytes.empty() ? 0 : 1;
            missing += bytes.empty() ? 1 : 0;
            ++reads;
            // A reader that never lets go would have every replacement refused as in use;
            // the pause leaves the writer gaps however slow the build is.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    int replaced = 0;
    for (int round = 0; round < 2000 && replaced < 30; ++round) {
        const char next = ReadFileBytes(file_)[0] == 'A' ? 'B' : 'A';
        auto repaired = Repaired(scratch_.path(), std::string(size, next));
        if (replace(file_, *repaired, false)) {
            ++replaced;
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
            SCOPED_TRACE(std::string(backup ? "backup" : "no backup") +
                         (thirdName ? ", third name" : ""));
            WriteFileBytes(file_, "old");
            fs::create_hard_link(file_, scratch_ / "talk (Backup).ppt");
            if (thirdName) {
                fs::create_hard_link(file_, scratch_ / "elsewhere.ppt");
            }
            auto repaired = Repaired(scratch_.path(), "new");
            ASSERT_TRUE(replace(file_, *repaired, backup)) << message_;
            EXPECT_EQ(ReadFileBytes(file_), "new");
            EXPECT_EQ(ReadFileBytes(scratch_ / "talk (Backup).ppt"), "old");
            if (backup) {
                EXPECT_EQ(ReadFileBytes(scratch_ / "talk (Backup 1).ppt"), "old");
            }
            if (thirdName) {
                EXPECT_EQ(ReadFileBytes(scratch_ / "elsewhere.ppt"), "new");
            }
            repaired.reset();
            for (const std::string& name : Names(scratch_.path())) {
                fs::remove(scratch_ / name);
            }
        }
    }
}

}  // namespace
