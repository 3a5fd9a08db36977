#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <memory>

#include "FileSizeCap.h"
#include "ScratchFolder.h"
#include "platform/Env.h"
#include "platform/PinnedFile.h"
#include "platform/ReadableFile.h"
#include "platform/WritableFile.h"

namespace {

namespace fs = std::filesystem;

struct stat Status(const fs::path& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// A user attribute, or "" where the file has none (or the file system keeps none).
std::string Attribute(const fs::path& path, const char* name) {
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? std::string() : std::string(value, static_cast<std::size_t>(size));
}

class PinnedFileTest : public ::testing::Test {
protected:
    // A new file holding `bytes`, made beside the file.
    std::unique_ptr<CreatedFile> created(const std::string& bytes) {
        std::unique_ptr<CreatedFile> file;
        std::unique_ptr<WritableFile> writer;
        EXPECT_EQ(pinned_->createBeside("kvf", &file), 0);
        EXPECT_EQ(file->openWriter(&writer), 0);
        EXPECT_EQ(writer->writeAt(0, bytes.data(), bytes.size()), 0);
        return file;
    }

    void SetUp() override {
        WriteFileBytes(file_, "original bytes");
        pinned_ = Env::Default().pinFile(file_);
    }

    ScratchFolder scratch_;
    const fs::path file_ = scratch_ / "talk.ppt";
    std::unique_ptr<PinnedFile> pinned_;
};

// Whatever the path names later, the reader, every check and every added name are the file
// opened first. Names added by the pinned file itself are not changes.
TEST_F(PinnedFileTest, EverythingIsTheFileOpenedFirst) {
    fs::create_symlink(file_, scratch_ / "link.ppt");
    const std::unique_ptr<PinnedFile> throughLink = Env::Default().pinFile(scratch_ / "link.ppt");
    EXPECT_EQ(throughLink->realPath(), fs::canonical(file_));
    EXPECT_EQ(throughLink->checkUnchanged(), 0);
    EXPECT_EQ(pinned_->nameCount(), 1u);
    ASSERT_EQ(pinned_->addName(scratch_ / "talk (Backup).ppt"), 0);
    EXPECT_EQ(pinned_->nameCount(), 2u);
    EXPECT_TRUE(pinned_->isNamedBy(scratch_ / "talk (Backup).ppt"));
    EXPECT_EQ(pinned_->checkUnchanged(), 0);
    EXPECT_EQ(pinned_->addName(scratch_ / "talk (Backup).ppt"), EEXIST);

    fs::rename(file_, scratch_ / "moved.ppt");
    fs::create_symlink("/etc/hostname", file_);
    EXPECT_EQ(pinned_->checkUnchanged(), PinnedFile::kChanged);
    EXPECT_FALSE(pinned_->isNamedBy(file_));
    ASSERT_EQ(pinned_->addName(scratch_ / "second.ppt"), 0);
    EXPECT_EQ(ReadFileBytes(scratch_ / "second.ppt"), "original bytes");
    std::unique_ptr<ReadableFile> reader;
    ASSERT_EQ(pinned_->openReader(&reader), 0);
    std::string bytes(64, '\0');
    std::size_t got = 0;
    ASSERT_EQ(reader->readAt(0, bytes.data(), bytes.size(), &got), 0);
    EXPECT_EQ(bytes.substr(0, got), "original bytes");
    const std::unique_ptr<PinnedFile> missing = Env::Default().pinFile(scratch_ / "none.ppt");
    EXPECT_EQ(missing->openReader(&reader), ENOENT);
    EXPECT_EQ(missing->checkUnchanged(), ENOENT);
}

TEST_F(PinnedFileTest, CopiesAreWholeOrAbsentAndKeepTimesModeAndAttributes) {
    WriteFileBytes(file_, std::string(64 * 1024, 'x'));
    ::chmod(file_.c_str(), 0640);
    const bool attributes = ::setxattr(file_.c_str(), "user.note", "kept", 4, 0) == 0;
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 5}};
    ::utimensat(AT_FDCWD, file_.c_str(), old, 0);
    const std::unique_ptr<PinnedFile> pinned = Env::Default().pinFile(file_);
    {
        const FileSizeCap cap(16 * 1024);
        EXPECT_EQ(pinned->copyTo(scratch_ / "copy", false), EFBIG);
    }
    EXPECT_FALSE(fs::exists(scratch_ / "copy"));
    EXPECT_EQ(CountTempFiles(scratch_.path()), 0);

    WriteFileBytes(scratch_ / "taken", "kept");
    EXPECT_EQ(pinned->copyTo(scratch_ / "taken", false), EEXIST);
    EXPECT_EQ(ReadFileBytes(scratch_ / "taken"), "kept");
    fs::create_symlink(scratch_ / "nowhere", scratch_ / "dangling");
    EXPECT_EQ(pinned->copyTo(scratch_ / "dangling", false), EEXIST);
    EXPECT_FALSE(fs::exists(scratch_ / "nowhere"));

    ASSERT_EQ(pinned->copyTo(scratch_ / "copy", false), 0);
    ASSERT_EQ(pinned->copyTo(scratch_ / "taken", true), 0);
    for (const fs::path& copy : {scratch_ / "copy", scratch_ / "taken"}) {
        const struct stat st = Status(copy);  // before reading it moves the access time
        EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(file_));
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
        EXPECT_EQ(st.st_mtim.tv_nsec, 5);
        EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
        EXPECT_EQ(st.st_nlink, 1u);
        if (attributes) {
            EXPECT_EQ(Attribute(copy, "user.note"), "kept");
        }
    }
    EXPECT_EQ(CountTempFiles(scratch_.path()), 0);
}

// A copy of a sparse file takes no more room than the file does.
TEST_F(PinnedFileTest, CopiesKeepHoles) {
    const std::string bytes = "start" + std::string((16 << 20) - 8, '\0') + "end";
    WriteFileBytes(file_, "start");
    fs::resize_file(file_, bytes.size() - 3);
    std::ofstream(file_, std::ios::app) << "end";
    ASSERT_EQ(Env::Default().pinFile(file_)->copyTo(scratch_ / "copy", false), 0);
    EXPECT_LE(Status(scratch_ / "copy").st_blocks, Status(file_).st_blocks + 64);
    EXPECT_TRUE(ReadFileBytes(scratch_ / "copy") == bytes);
}

TEST_F(PinnedFileTest, OverwriteThatDoesNotFitLeavesTheFile) {
    const std::unique_ptr<CreatedFile> big = created(std::string(64 * 1024, 'n'));
    bool touched = true;
    {
        const FileSizeCap cap(32 * 1024);
        EXPECT_EQ(pinned_->overwriteWith(*big, &touched), EFBIG);
    }
    EXPECT_FALSE(touched);
    EXPECT_EQ(ReadFileBytes(file_), "original bytes");
    fs::create_hard_link(file_, scratch_ / "other name");
    ASSERT_EQ(pinned_->overwriteWith(*created("short"), &touched), 0);
    EXPECT_EQ(ReadFileBytes(scratch_ / "other name"), "short");
}

}  // namespace
