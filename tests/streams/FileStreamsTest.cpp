#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "errors/FileCreateException.h"
#include "errors/FileNotFoundException.h"
#include "errors/FullMessage.h"
#include "errors/TempFileCreationException.h"
#include "streams/FileInputStream.h"
#include "streams/FileOutputStream.h"
#include "streams/TempFile.h"
#include "streams/TempFileInputStream.h"

namespace {

const auto* Bytes(const char* s) {
    return reinterpret_cast<const std::uint8_t*>(s);
}

TEST(FileInputStreamTest, MissingFileReportsNumberAndPath) {
    ScratchFolder scratch;
    const auto path = scratch / "missing.ppt";
    try {
        FileInputStream in(path);
        FAIL() << "a missing file must not open";
    } catch (const FileNotFoundException& e) {
        EXPECT_EQ(FullMessage(e),
                  "File not found [[errno(2) - No such file or directory," + path.string() + "]]");
    }
}

TEST(FileInputStreamTest, FolderIsNotAFile) {
    ScratchFolder scratch;
    try {
        FileInputStream in(scratch.path());
        FAIL() << "a folder must not open";
    } catch (const FileNotFoundException& e) {
        EXPECT_EQ(FullMessage(e),
                  "File not found [[errno(21) - Is a directory," + scratch.path().string() + "]]");
    }
}

TEST(FileInputStreamTest, ReadTellSeekAndEnd) {
    ScratchFolder scratch;
    WriteFileBytes(scratch / "f", "0123456789");
    FileInputStream in(scratch / "f");
    std::uint8_t buffer[16] = {};
    EXPECT_EQ(in.read(buffer, 4), 4u);
    EXPECT_EQ(in.tell(), 4);
    EXPECT_EQ(in.readByte(), '4');
    in.seek(-2, SeekOrigin::End);
    EXPECT_EQ(in.read(buffer, 16), 2u);
    EXPECT_EQ(buffer[0], '8');
    in.seek(100, SeekOrigin::Begin);
    EXPECT_EQ(in.read(buffer, 16), 0u);
    EXPECT_EQ(in.readByte(), -1);
    EXPECT_EQ(in.tell(), 100);
    try {
        in.seek(-1, SeekOrigin::Begin);
        FAIL() << "a negative position must be refused";
    } catch (const IOException& e) {
        EXPECT_EQ(FullMessage(e), "I/O exception [Error setting the seek pointer]");
    }
}

TEST(FileInputStreamTest, PositionsBeyondFourGigabytes) {
    ScratchFolder scratch;
    const auto path = scratch / "sparse";
    const std::int64_t far = (std::int64_t{5} << 30) + 3;
    WriteFileBytes(path, "");
    ASSERT_EQ(::truncate(path.c_str(), far), 0);
    {
        FileOutputStream out(path, true);
        out.write(Bytes("end"), 3);
        out.close();
    }
    FileInputStream in(path);
    in.seek(far, SeekOrigin::Begin);
    EXPECT_EQ(in.tell(), far);
    EXPECT_EQ(in.readByte(), 'e');
    EXPECT_EQ(in.skip(10), 2u);
    EXPECT_EQ(in.tell(), far + 3);
}

TEST(FileInputStreamTest, CloseThenOpenStartsAgain) {
    ScratchFolder scratch;
    WriteFileBytes(scratch / "f", "ab");
    FileInputStream in(scratch / "f");
    EXPECT_EQ(in.readByte(), 'a');
    in.close();
    EXPECT_EQ(in.tell(), -1);
    EXPECT_THROW(in.readByte(), IOException);
    in.open();
    EXPECT_EQ(in.readByte(), 'a');
}

TEST(FileOutputStreamTest, TruncateOrAppend) {
    ScratchFolder scratch;
    const auto path = scratch / "f";
    WriteFileBytes(path, "old");
    {
        FileOutputStream out(path, false);
        out.write(Bytes(""), 0);
        out.write(Bytes("ne"), 2);
        out.writeByte('w');
    }
    EXPECT_EQ(ReadFileBytes(path), "new");
    {
        FileOutputStream out(path, true);
        out.write(Bytes("er"), 2);
    }
    EXPECT_EQ(ReadFileBytes(path), "newer");
}

TEST(FileOutputStreamTest, MissingFolderFailsCreation) {
    ScratchFolder scratch;
    try {
        FileOutputStream out(scratch / "no" / "f", false);
        FAIL() << "a file in a missing folder must not be created";
    } catch (const FileCreateException& e) {
        EXPECT_EQ(FullMessage(e), "File creation failed [errno(2) - No such file or directory]");
    }
}

TEST(FileOutputStreamTest, FullDiskIsReportedByFlushAndClose) {
    if (::access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "/dev/full is not available";
    }
    {
        FileOutputStream out("/dev/full", false);
        out.write(Bytes("data"), 4);
        try {
            out.flush();
            FAIL() << "a flush to a full disk must fail";
        } catch (const IOException& e) {
            EXPECT_EQ(FullMessage(e), "I/O exception [errno(28) - No space left on device]");
        }
    }
    FileOutputStream out("/dev/full", false);
    out.writeByte('x');
    EXPECT_THROW(out.close(), IOException);
    EXPECT_THROW(out.writeByte('y'), IOException);
    EXPECT_NO_THROW(out.close());
}

// Points the temporary folder at a scratch folder for one test.
class TempFileTest : public ::testing::Test {
protected:
    ScratchFolder scratch_;
    ScopedTmpdir tmpdir_{scratch_.path().string()};
};

TEST_F(TempFileTest, NewFileIsEmptyPrefixedAndInTheTemporaryFolder) {
    TempFile file;
    EXPECT_EQ(file.path().parent_path(), scratch_.path());
    EXPECT_EQ(file.path().filename().string().rfind("kvf", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_regular_file(file.path()));
    EXPECT_EQ(file.size(), 0u);
    {
        FileOutputStream out(file.path(), false);
        out.write(reinterpret_cast<const std::uint8_t*>(std::string(100, 'x').data()), 100);
    }
    EXPECT_EQ(file.size(), 100u);
}

TEST_F(TempFileTest, DestructionDeletesAndNamesAreUnique) {
    std::filesystem::path first;
    {
        TempFile a;
        TempFile b;
        first = a.path();
        EXPECT_NE(a.path(), b.path());
    }
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_EQ(CountTempFiles(scratch_.path()), 0);
}

TEST_F(TempFileTest, ReleasedFileStays) {
    std::filesystem::path kept;
    {
        TempFile file;
        kept = file.path();
        file.release();
        EXPECT_TRUE(file.path().empty());
    }
    EXPECT_TRUE(std::filesystem::exists(kept));
}

TEST_F(TempFileTest, SizeOfADeletedFileNamesThePath) {
    TempFile file;
    std::filesystem::remove(file.path());
    try {
        file.size();
        FAIL() << "the size of a deleted file must not be known";
    } catch (const FileNotFoundException& e) {
        EXPECT_EQ(FullMessage(e), "File not found [[errno(2) - No such file or directory," +
                                      file.path().string() + "]]");
    }
}

TEST_F(TempFileTest, GivenFolderAndMissingFolder) {
    std::filesystem::create_directory(scratch_ / "sub");
    TempFile inFolder(scratch_ / "sub");
    EXPECT_EQ(inFolder.path().parent_path(), scratch_ / "sub");
    try {
        TempFile nowhere(scratch_ / "missing");
        FAIL() << "no file can be made in a missing folder";
    } catch (const TempFileCreationException& e) {
        EXPECT_EQ(FullMessage(e),
                  "Temporary file creation failed [HRESULT(80070002) - No such file or "
                  "directory]");
    }
    ::setenv("TMPDIR", (scratch_ / "missing").c_str(), 1);
    EXPECT_THROW(TempFile(), TempFileCreationException);
}

TEST_F(TempFileTest, InputStreamReadsItBack) {
    TempFile file;
    WriteFileBytes(file.path(), "abc");
    TempFileInputStream in(file);
    std::uint8_t buffer[10];
    EXPECT_EQ(in.read(buffer, 10), 3u);
    EXPECT_EQ(in.readByte(), -1);
    EXPECT_EQ(in.tell(), 3);
    in.seek(1, SeekOrigin::Begin);
    EXPECT_EQ(in.readByte(), 'b');
}

}  // namespace
