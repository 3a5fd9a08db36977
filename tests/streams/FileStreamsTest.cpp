#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "errors/FileCreateException.h"
#include "errors/FileNotFoundException.h"
#include "errors/TempFileCreationException.h"
#include "platform/Env.h"
#include "streams/FileInputStream.h"
#include "streams/FileOutputStream.h"
#include "streams/StreamTestSupport.h"
#include "streams/TempFile.h"
#include "streams/TempFileInputStream.h"

namespace {

const auto* Bytes(const char* s) {
    return reinterpret_cast<const std::uint8_t*>(s);
}

TEST(FileInputStreamTest, OpenFailuresReportNumberAndPath) {
    ScratchFolder scratch;
    const auto missing = scratch / "missing.ppt";
    EXPECT_EQ(MessageOf([&] { FileInputStream in(missing); }),
              "File not found [[errno(2) - No such file or directory," + missing.string() + "]]");
    EXPECT_EQ(MessageOf([&] { FileInputStream in(scratch.path()); }),
              "File not found [[errno(21) - Is a directory," + scratch.path().string() + "]]");
}

TEST(FileInputStreamTest, ReadTellSeekEndCloseAndOpenAgain) {
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
    EXPECT_EQ(MessageOf([&] { in.seek(-1, SeekOrigin::Begin); }),
              "I/O exception [Error setting the seek pointer]");
    in.close();
    EXPECT_EQ(in.tell(), -1);
    EXPECT_THROW(in.readByte(), IOException);
    in.open();
    EXPECT_EQ(in.readByte(), '0');
}

TEST(FileInputStreamTest, PositionsBeyondFourGigabytes) {
    ScratchFolder scratch;
    const auto path = scratch / "sparse";
    const std::int64_t far = (std::int64_t{5} << 30) + 3;
    WriteFileBytes(path, "");
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(far));
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

TEST(FileOutputStreamTest, TruncateAppendOrFailCreation) {
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
    EXPECT_EQ(MessageOf([&] { FileOutputStream out(scratch / "no" / "f", false); }),
              "File creation failed [errno(2) - No such file or directory]");
}

TEST(FileOutputStreamTest, FullDiskIsReportedByFlushAndClose) {
    if (Env::Default().pathKind("/dev/full") != Env::PathKind::Other) {
        GTEST_SKIP() << "/dev/full is not available";
    }
    {
        FileOutputStream out("/dev/full", false);
        out.write(Bytes("data"), 4);
        EXPECT_EQ(MessageOf([&] { out.flush(); }),
                  "I/O exception [errno(28) - No space left on device]");
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

TEST_F(TempFileTest, NewFilesAreEmptyPrefixedUniqueAndDeletedUnlessReleased) {
    std::filesystem::path deleted;
    std::filesystem::path kept;
    {
        TempFile a;
        TempFile b;
        EXPECT_NE(a.path(), b.path());
        EXPECT_EQ(a.path().parent_path(), scratch_.path());
        EXPECT_EQ(a.path().filename().string().rfind("kvf", 0), 0u);
        EXPECT_EQ(a.size(), 0u);
        WriteFileBytes(a.path(), "abc");
        EXPECT_EQ(a.size(), 3u);
        {
            TempFileInputStream in(a);
            std::uint8_t buffer[10];
            EXPECT_EQ(in.read(buffer, 10), 3u);
            EXPECT_EQ(in.readByte(), -1);
            in.seek(1, SeekOrigin::Begin);
            EXPECT_EQ(in.readByte(), 'b');
        }
        deleted = a.path();
        kept = b.path();
        b.release();
        EXPECT_TRUE(b.path().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(deleted));
    EXPECT_TRUE(std::filesystem::exists(kept));
    std::filesystem::remove(kept);
    EXPECT_EQ(CountTempFiles(scratch_.path()), 0);
}

TEST_F(TempFileTest, FailuresNameTheCause) {
    std::filesystem::create_directory(scratch_ / "sub");
    TempFile file(scratch_ / "sub");
    EXPECT_EQ(file.path().parent_path(), scratch_ / "sub");
    std::filesystem::remove(file.path());
    EXPECT_EQ(
        MessageOf([&] { file.size(); }),
        "File not found [[errno(2) - No such file or directory," + file.path().string() + "]]");
    // The system's error for a missing folder, as a result code with its text.
    const std::string missing = MessageOf([&] { TempFile nowhere(scratch_ / "missing"); });
    EXPECT_EQ(missing.rfind("Temporary file creation failed [HRESULT(8007000", 0), 0u) << missing;
    EXPECT_NE(missing.find(") - "), std::string::npos) << missing;
    fixtures::SetVariable(fixtures::kTempFolderVariable, (scratch_ / "missing").u8string());
    EXPECT_THROW(TempFile(), TempFileCreationException);
}

}  // namespace
