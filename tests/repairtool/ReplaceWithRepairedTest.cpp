#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <optional>
#include <thread>

#include "ReadOnlyFolder.h"
#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "repairtool/MakeBackupName.h"
#include "repairtool/ReplaceWithRepaired.h"
#include "streams/TempFile.h"

namespace {

namespace fs = std::filesystem;

// A folder for the file to repair, "talk.ppt", and another one as the temporary folder (TMPDIR).
class ReplaceWithRepairedTest : public ::testing::Test {
protected:
    // A repaired presentation's stand-in: a temporary file holding `bytes`.
    static std::unique_ptr<TempFile> Repaired(const fs::path& folder, const std::string& bytes) {
        auto file = std::make_unique<TempFile>(folder);
        WriteFileBytes(file->path(), bytes);
        return file;
    }

    // The names in `folder`, sorted.
    static std::vector<std::string> Names(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    bool replace(const fs::path& file, TempFile& repaired, bool backup) {
        message_.clear();
        return ReplaceWithRepaired(file, repaired, backup, message_);
    }

    ScratchFolder scratch_;
    ScratchFolder temp_;
    ScopedTmpdir tmpdir_{temp_.path().string()};
    const fs::path file_ = scratch_ / "talk.ppt";
    std::string message_;
};

struct stat Status(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

const std::string kRefused = "Backup failed with error code ";

using BackupTest = ReplaceWithRepairedTest;

// Ten taken names leave no backup name, and the file is then left alone.
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

TEST_F(BackupTest, AnythingUnderTheNameTakesIt) {
    fs::create_directory(scratch_ / "a (Backup).ppt");
    fs::create_symlink(scratch_ / "nowhere", scratch_ / "a (Backup 1).ppt");
    EXPECT_EQ(MakeBackupName(scratch_ / "a.ppt"), scratch_ / "a (Backup 2).ppt");
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
    auto repaired = Repaired(scratch_.path(), "new");
    const ino_t repairedInode = Status(repaired->path()).st_ino;
    ASSERT_TRUE(replace(file_, *repaired, false)) << message_;
    EXPECT_EQ(ReadFileBytes(file_), "new");
    EXPECT_EQ(Status(file_).st_ino, repairedInode);
    EXPECT_EQ(Status(file_).st_mode & 07777, 0640u);
    EXPECT_TRUE(repaired->path().empty());
    EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
}

TEST_F(ReplaceWithRepairedTest, RepairedFileElsewhereIsStagedNextToTheOriginal) {
    WriteFileBytes(file_, "old");
    fs::permissions(file_, fs::perms(0604));
    {
        auto repaired = Repaired(temp_.path(), "new");
        const ino_t oldInode = Status(file_).st_ino;
        ASSERT_TRUE(replace(file_, *repaired, true)) << message_;
        EXPECT_NE(Status(file_).st_ino, oldInode);
    }
    EXPECT_EQ(ReadFileBytes(file_), "new");
    EXPECT_EQ(ReadFileBytes(scratch_ / "talk (Backup).ppt"), "old");
    EXPECT_EQ(Status(file_).st_mode & 07777, 0604u);
    EXPECT_EQ(Names(scratch_.path()), (std::vector<std::string>{"talk (Backup).ppt", "talk.ppt"}));
    EXPECT_EQ(CountTempFiles(temp_.path()), 0);
}

// The backup, made first, stays behind: it holds the original's bytes.
TEST_F(ReplaceWithRepairedTest, ReadOnlyOriginalIsRefused) {
    WriteFileBytes(file_, "old");
    fs::permissions(file_, fs::perms(0444));
    for (const bool backup : {true, false}) {
        auto repaired = Repaired(scratch_.path(), "new");
        EXPECT_FALSE(replace(file_, *repaired, backup));
        EXPECT_EQ(message_,
                  kRefused + std::to_string(EACCES) + ". Your file has not been modified.\n");
        EXPECT_EQ(ReadFileBytes(file_), "old");
        repaired.reset();
        if (backup) {
            EXPECT_EQ(Names(scratch_.path()),
                      (std::vector<std::string>{"talk (Backup).ppt", "talk.ppt"}));
            EXPECT_EQ(ReadFileBytes(scratch_ / "talk (Backup).ppt"), "old");
            fs::remove(scratch_ / "talk (Backup).ppt");
        } else {
            EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
        }
    }
}

// The file's folder takes no new name; the repaired file waits in the temporary folder.
class ReadOnlyFolderTest : public ReplaceWithRepairedTest {
protected:
    void SetUp() override {
        WriteFileBytes(file_, "old");
        locked_.emplace(scratch_.path());
        if (!locked_->active()) {
            GTEST_SKIP() << "this file system cannot make a folder read-only for this user";
        }
    }
    void TearDown() override { locked_.reset(); }

    std::unique_ptr<TempFile> repaired_ = Repaired(temp_.path(), "new");
    std::optional<ReadOnlyFolder> locked_;
};

TEST_F(ReadOnlyFolderTest, BackupFailsAndTheFileStays) {
    EXPECT_FALSE(replace(file_, *repaired_, true));
    EXPECT_EQ(message_.rfind(kRefused, 0), 0u) << message_;
    EXPECT_EQ(ReadFileBytes(file_), "old");
    EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
}

TEST_F(ReadOnlyFolderTest, WithoutBackupTheFileIsOverwrittenInPlace) {
    const ino_t inode = Status(file_).st_ino;
    ASSERT_TRUE(replace(file_, *repaired_, false)) << message_;
    EXPECT_EQ(ReadFileBytes(file_), "new");
    EXPECT_EQ(Status(file_).st_ino, inode);
    EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
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
    EXPECT_EQ(Names(scratch_.path()), (std::vector<std::string>{"same.ppt", "talk.ppt"}));
}

TEST_F(ReplaceWithRepairedTest, SymbolicLinkLeadsToTheRealFile) {
    fs::create_directory(scratch_ / "real");
    fs::create_directory(scratch_ / "links");
    const fs::path real = scratch_ / "real" / "talk.ppt";
    const fs::path link = scratch_ / "links" / "talk.ppt";
    WriteFileBytes(real, "old");
    fs::create_symlink(real, link);
    auto repaired = Repaired(temp_.path(), "new");
    ASSERT_TRUE(replace(link, *repaired, true)) << message_;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real), "new");
    EXPECT_EQ(ReadFileBytes(scratch_ / "links" / "talk (Backup).ppt"), "old");
    EXPECT_EQ(Names(scratch_ / "real"), std::vector<std::string>{"talk.ppt"});
}

// A reader that opens the file again and again while it is replaced must find either the whole
// old content or the whole new one.
TEST_F(ReplaceWithRepairedTest, ReadersNeverSeeAMixOfOldAndNew) {
    const std::size_t size = 1 << 20;
    WriteFileBytes(file_, std::string(size, 'A'));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!done) {
            const std::string bytes = ReadFileBytes(file_);
            const bool whole =
                bytes.size() == size &&
                bytes.find_first_not_of(bytes.empty() ? 'A' : bytes[0]) == std::string::npos;
            torn += whole ? 0 : 1;
            ++reads;
        }
    });
    for (int round = 0; round < 60; ++round) {
        auto repaired = Repaired(round % 2 == 0 ? scratch_.path() : temp_.path(),
                                 std::string(size, round % 2 == 0 ? 'B' : 'A'));
        ASSERT_TRUE(replace(file_, *repaired, false)) << message_;
    }
    while (reads < 20) {
        std::this_thread::yield();
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

}  // namespace
