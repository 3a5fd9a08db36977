#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <thread>

#include "ReadOnlyFolder.h"
#include "ReplaceFixture.h"
#include "repairtool/ReplaceWithRepaired.h"

namespace {

namespace fs = std::filesystem;

using ReplaceWithRepairedTest = ReplaceFixture;

struct stat Status(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

const std::string kRefused = "Backup failed with error code ";

TEST_F(ReplaceWithRepairedTest, RepairedFileNextToTheOriginalIsRenamedOverIt) {
    const fs::path file = scratch_ / "talk.ppt";
    WriteFileBytes(file, "old");
    fs::permissions(file, fs::perms(0640));
    auto repaired = Repaired(scratch_.path(), "new");
    const ino_t repairedInode = Status(repaired->path()).st_ino;
    std::string message;
    ASSERT_TRUE(ReplaceWithRepaired(file, *repaired, false, message)) << message;
    EXPECT_EQ(ReadFileBytes(file), "new");
    EXPECT_EQ(Status(file).st_ino, repairedInode);
    EXPECT_EQ(Status(file).st_mode & 07777, 0640u);
    EXPECT_TRUE(repaired->path().empty());
    EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
}

TEST_F(ReplaceWithRepairedTest, RepairedFileElsewhereIsStagedNextToTheOriginal) {
    const fs::path file = scratch_ / "talk.ppt";
    WriteFileBytes(file, "old");
    fs::permissions(file, fs::perms(0604));
    {
        auto repaired = Repaired(temp_.path(), "new");
        const ino_t oldInode = Status(file).st_ino;
        std::string message;
        ASSERT_TRUE(ReplaceWithRepaired(file, *repaired, true, message)) << message;
        EXPECT_NE(Status(file).st_ino, oldInode);
    }
    EXPECT_EQ(ReadFileBytes(file), "new");
    EXPECT_EQ(Status(file).st_mode & 07777, 0604u);
    EXPECT_EQ(Names(scratch_.path()), (std::vector<std::string>{"talk (Backup).ppt", "talk.ppt"}));
    EXPECT_EQ(CountTempFiles(temp_.path()), 0);
}

// The backup, made first, stays behind: it holds the original's bytes.
TEST_F(ReplaceWithRepairedTest, ReadOnlyOriginalIsRefused) {
    const fs::path file = scratch_ / "talk.ppt";
    WriteFileBytes(file, "old");
    fs::permissions(file, fs::perms(0444));
    for (const bool backup : {true, false}) {
        auto repaired = Repaired(scratch_.path(), "new");
        std::string message;
        EXPECT_FALSE(ReplaceWithRepaired(file, *repaired, backup, message));
        EXPECT_EQ(message,
                  kRefused + std::to_string(EACCES) + ". Your file has not been modified.\n");
        EXPECT_EQ(ReadFileBytes(file), "old");
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
class ReadOnlyFolderTest : public ReplaceFixture {
protected:
    void SetUp() override {
        WriteFileBytes(file_, "old");
        locked_.emplace(scratch_.path());
        if (!locked_->active()) {
            GTEST_SKIP() << "this file system cannot make a folder read-only for this user";
        }
    }
    void TearDown() override { locked_.reset(); }

    const fs::path file_ = scratch_ / "talk.ppt";
    std::unique_ptr<TempFile> repaired_ = Repaired(temp_.path(), "new");
    std::optional<ReadOnlyFolder> locked_;
};

TEST_F(ReadOnlyFolderTest, BackupFailsAndTheFileStays) {
    std::string message;
    EXPECT_FALSE(ReplaceWithRepaired(file_, *repaired_, true, message));
    EXPECT_EQ(message.rfind(kRefused, 0), 0u) << message;
    EXPECT_EQ(ReadFileBytes(file_), "old");
    EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
}

TEST_F(ReadOnlyFolderTest, WithoutBackupTheFileIsOverwrittenInPlace) {
    const ino_t inode = Status(file_).st_ino;
    std::string message;
    ASSERT_TRUE(ReplaceWithRepaired(file_, *repaired_, false, message)) << message;
    EXPECT_EQ(ReadFileBytes(file_), "new");
    EXPECT_EQ(Status(file_).st_ino, inode);
    EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
}

TEST_F(ReplaceWithRepairedTest, HardLinkedFileKeepsAllItsNames) {
    const fs::path file = scratch_ / "talk.ppt";
    WriteFileBytes(file, "old");
    fs::create_hard_link(file, scratch_ / "same.ppt");
    {
        auto repaired = Repaired(scratch_.path(), "new");
        std::string message;
        ASSERT_TRUE(ReplaceWithRepaired(file, *repaired, false, message)) << message;
    }
    EXPECT_EQ(ReadFileBytes(file), "new");
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
    std::string message;
    ASSERT_TRUE(ReplaceWithRepaired(link, *repaired, true, message)) << message;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real), "new");
    EXPECT_EQ(ReadFileBytes(scratch_ / "links" / "talk (Backup).ppt"), "old");
    EXPECT_EQ(Names(scratch_ / "real"), std::vector<std::string>{"talk.ppt"});
}

// A reader that opens the file again and again while it is replaced must find either the whole
// old content or the whole new one.
TEST_F(ReplaceWithRepairedTest, ReadersNeverSeeAMixOfOldAndNew) {
    const std::size_t size = 1 << 20;
    const fs::path file = scratch_ / "talk.ppt";
    WriteFileBytes(file, std::string(size, 'A'));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!done) {
            const std::string bytes = ReadFileBytes(file);
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
        std::string message;
        ASSERT_TRUE(ReplaceWithRepaired(file, *repaired, false, message)) << message;
    }
    while (reads < 20) {
        std::this_thread::yield();
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

}  // namespace
