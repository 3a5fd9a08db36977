#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "ScratchFolder.h"
#include "platform/Env.h"
#include "platform/ReadableFile.h"
#include "platform/WritableFile.h"

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

TEST_F(EnvTest, CreatedFilesArePrivateEmptyAndDistinct) {
    std::unique_ptr<CreatedFile> a;
    std::unique_ptr<CreatedFile> b;
    ASSERT_EQ(env.createFile(scratch.path(), "kvf", &a), 0);
    ASSERT_EQ(env.createFile(scratch.path(), "kvf", &b), 0);
    EXPECT_NE(a->path(), b->path());
    EXPECT_EQ(a->path().parent_path(), scratch.path());
    EXPECT_EQ(a->path().filename().string().rfind("kvf", 0), 0u);
    EXPECT_EQ(a->path().extension(), ".tmp");
    EXPECT_EQ(fs::file_size(a->path()), 0u);
    EXPECT_EQ(PermissionBits(a->path()), 0600u);
    EXPECT_EQ(env.createFile(scratch / "missing", "kvf", &a), ENOENT);
}

// What is written and read back goes through the handle, whatever the name holds by then; a
// name that was swapped is not deleted.
TEST_F(EnvTest, CreatedFilesAreNeverReachedByTheirName) {
    std::unique_ptr<CreatedFile> file;
    ASSERT_EQ(env.createFile(scratch.path(), "kvf", &file), 0);
    const fs::path name = file->path();
    fs::rename(name, scratch / "aside");
    WriteFileBytes(name, "planted");
    std::unique_ptr<WritableFile> writer;
    ASSERT_EQ(file->openWriter(&writer), 0);
    ASSERT_EQ(writer->writeAt(0, "mine", 4), 0);
    std::unique_ptr<ReadableFile> reader;
    ASSERT_EQ(file->openReader(&reader), 0);
    std::uint64_t size = 0;
    ASSERT_EQ(file->size(&size), 0);
    char bytes[8] = {};
    std::size_t got = 0;
    ASSERT_EQ(reader->readAt(0, bytes, sizeof bytes, &got), 0);
    EXPECT_EQ(std::string(bytes, got), "mine");
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(ReadFileBytes(name), "planted");
    EXPECT_EQ(file->remove(), CreatedFile::kNameTaken);
    EXPECT_EQ(ReadFileBytes(name), "planted");
    fs::rename(scratch / "aside", name);
    EXPECT_EQ(file->remove(), 0);
    EXPECT_FALSE(fs::exists(name));
}

}  // namespace
