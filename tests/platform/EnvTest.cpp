#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace
