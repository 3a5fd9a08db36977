#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "FileSizeCap.h"
#include "ScratchFolder.h"
#include "platform/Env.h"

namespace {

namespace fs = std::filesystem;

mode_t PermissionBits(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class EnvTest : public ::testing::Test {
protected:
    Env& env = Env::Default();
    ScratchFolder scratch;
};

TEST_F(EnvTest, PathKinds) {
    WriteFileBytes(scratch / "file", "x");
    ASSERT_EQ(::mkfifo((scratch / "fifo").c_str(), 0600), 0);
    fs::create_symlink(scratch / "file", scratch / "link");
    fs::create_symlink(scratch / "gone", scratch / "dangling");
    EXPECT_EQ(env.pathKind(scratch / "file"), Env::PathKind::RegularFile);
    EXPECT_EQ(env.pathKind(scratch / "link"), Env::PathKind::RegularFile);
    EXPECT_EQ(env.pathKind(scratch.path()), Env::PathKind::Directory);
    EXPECT_EQ(env.pathKind(scratch / "fifo"), Env::PathKind::Other);
    EXPECT_EQ(env.pathKind("/dev/null"), Env::PathKind::Other);
    EXPECT_EQ(env.pathKind(scratch / "gone"), Env::PathKind::Missing);
    EXPECT_EQ(env.pathKind(scratch / "dangling"), Env::PathKind::Missing);
    EXPECT_TRUE(env.pathExists(scratch / "dangling"));
    EXPECT_FALSE(env.pathExists(scratch / "gone"));
}

TEST_F(EnvTest, CopyRefusingAnExistingTarget) {
    WriteFileBytes(scratch / "a", "new bytes");
    WriteFileBytes(scratch / "b", "kept");
    EXPECT_EQ(env.copyFile(scratch / "a", scratch / "b", true), EEXIST);
    EXPECT_EQ(ReadFileBytes(scratch / "b"), "kept");
    fs::create_symlink(scratch / "nowhere", scratch / "dangling");
    EXPECT_EQ(env.copyFile(scratch / "a", scratch / "dangling", true), EEXIST);
    EXPECT_FALSE(fs::exists(scratch / "nowhere"));
    EXPECT_EQ(env.copyFile(scratch / "missing", scratch / "to", true), ENOENT);
    EXPECT_FALSE(fs::exists(scratch / "to"));
    EXPECT_EQ(env.copyFile(scratch / "a", scratch / "c", true), 0);
    EXPECT_EQ(ReadFileBytes(scratch / "c"), "new bytes");
    EXPECT_EQ(env.copyFile(scratch / "a", scratch / "b", false), 0);
    EXPECT_EQ(ReadFileBytes(scratch / "b"), "new bytes");
}

// The refusing copy is staged under a temporary name: the target name holds the whole copy or
// nothing, whatever fails on the way.
TEST_F(EnvTest, CopyRefusingAnExistingTargetNeverShowsPartOfACopy) {
    WriteFileBytes(scratch / "a", std::string(64 * 1024, 'x'));
    ::chmod((scratch / "a").c_str(), 0640);
    {
        const FileSizeCap cap(16 * 1024);
        EXPECT_EQ(env.copyFile(scratch / "a", scratch / "b", true), EFBIG);
    }
    EXPECT_FALSE(env.pathExists(scratch / "b"));
    EXPECT_EQ(CountTempFiles(scratch.path()), 0);
    const mode_t umask = ::umask(0);
    ::umask(umask);
    EXPECT_EQ(env.copyFile(scratch / "a", scratch / "b", true), 0);
    EXPECT_EQ(ReadFileBytes(scratch / "b"), ReadFileBytes(scratch / "a"));
    EXPECT_EQ(PermissionBits(scratch / "b"), 0640 & ~umask);
    EXPECT_EQ(fs::hard_link_count(scratch / "b"), 1u);
    EXPECT_EQ(CountTempFiles(scratch.path()), 0);
}

// Overwriting in place takes the space for the whole copy first: when it cannot be had, the
// target keeps every byte.
TEST_F(EnvTest, OverwriteThatDoesNotFitLeavesTheTarget) {
    WriteFileBytes(scratch / "big", std::string(64 * 1024, 'n'));
    WriteFileBytes(scratch / "target", std::string(20 * 1024, 'o'));
    {
        const FileSizeCap cap(32 * 1024);
        EXPECT_EQ(env.copyFile(scratch / "big", scratch / "target", false), EFBIG);
    }
    EXPECT_EQ(ReadFileBytes(scratch / "target"), std::string(20 * 1024, 'o'));
    WriteFileBytes(scratch / "small", "short");
    EXPECT_EQ(env.copyFile(scratch / "small", scratch / "target", false), 0);
    EXPECT_EQ(ReadFileBytes(scratch / "target"), "short");
}

TEST_F(EnvTest, UniqueFilesArePrivateEmptyAndDistinct) {
    fs::path a;
    fs::path b;
    ASSERT_EQ(env.createUniqueFile(scratch.path(), "kvf", &a), 0);
    ASSERT_EQ(env.createUniqueFile(scratch.path(), "kvf", &b), 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.parent_path(), scratch.path());
    EXPECT_EQ(a.filename().string().rfind("kvf", 0), 0u);
    EXPECT_EQ(a.extension(), ".tmp");
    EXPECT_EQ(fs::file_size(a), 0u);
    EXPECT_EQ(PermissionBits(a), 0600u);
    EXPECT_EQ(env.createUniqueFile(scratch / "missing", "kvf", &a), ENOENT);
}

TEST_F(EnvTest, WritableNeedsAWriteBitEvenForRootAndHardLinksAreOtherNames) {
    WriteFileBytes(scratch / "f", "x");
    fs::permissions(scratch / "f", fs::perms(0644));
    EXPECT_EQ(env.checkWritable(scratch / "f"), 0);
    fs::permissions(scratch / "f", fs::perms(0444));
    EXPECT_EQ(env.checkWritable(scratch / "f"), EACCES);
    EXPECT_EQ(env.checkWritable(scratch / "missing"), ENOENT);
    EXPECT_FALSE(env.hasOtherNames(scratch / "f"));
    fs::create_hard_link(scratch / "f", scratch / "g");
    EXPECT_TRUE(env.hasOtherNames(scratch / "f"));
}

TEST_F(EnvTest, ReplaceFileTakesTheTargetsPermissionBitsAndAFailureLeavesTheTarget) {
    WriteFileBytes(scratch / "target", "old");
    fs::permissions(scratch / "target", fs::perms(0640));
    EXPECT_EQ(env.replaceFile(scratch / "target", scratch / "missing"), ENOENT);
    EXPECT_EQ(ReadFileBytes(scratch / "target"), "old");
    WriteFileBytes(scratch / "replacement", "new");
    fs::permissions(scratch / "replacement", fs::perms(0600));
    ASSERT_EQ(env.replaceFile(scratch / "target", scratch / "replacement"), 0);
    EXPECT_EQ(ReadFileBytes(scratch / "target"), "new");
    EXPECT_EQ(PermissionBits(scratch / "target"), 0640u);
    EXPECT_FALSE(fs::exists(scratch / "replacement"));
}

}  // namespace
