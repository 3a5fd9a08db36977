#include <gtest/gtest.h>

#include <string>

#include "FileSizeCap.h"
#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "errors/IOException.h"
#include "streams/FileOutputStream.h"
#include "streams/TempFile.h"
#include "streams/TempFileInputStream.h"
#include "support/MessageOf.h"

namespace {

const auto* Bytes(const char* s) {
    return reinterpret_cast<const std::uint8_t*>(s);
}

// Points the temporary folder at a scratch folder for one test.
class FileStreamsTest : public ::testing::Test {
protected:
    ScratchFolder scratch_;
    ScopedTmpdir tmpdir_{scratch_.path().string()};
};

TEST_F(FileStreamsTest, ReadTellSeekAndClose) {
    TempFile file;
    WriteFileBytes(file.path(), "0123456789");
    TempFileInputStream in(file);
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
    EXPECT_EQ(fixtures::messageOf([&] { in.seek(-101, SeekOrigin::Current); }),
              "I/O exception [Error setting the seek pointer]");
    in.close();
    EXPECT_EQ(in.tell(), -1);
    EXPECT_THROW(in.readByte(), IOException);
}

TEST_F(FileStreamsTest, PositionsBeyondFourGigabytes) {
    TempFile file;
    const std::int64_t far = (std::int64_t{5} << 30) + 3;
    std::filesystem::resize_file(file.path(), static_cast<std::uintmax_t>(far));
    ASSERT_EQ(file.openWriter()->writeAt(far, "end", 3), 0);
    TempFileInputStream in(file);
    in.seek(far, SeekOrigin::Begin);
    EXPECT_EQ(in.tell(), far);
    EXPECT_EQ(in.readByte(), 'e');
    EXPECT_EQ(in.skip(10), 2u);
    EXPECT_EQ(in.tell(), far + 3);
}

TEST_F(FileStreamsTest, WritesAreStoredOrReportedAndEndWithClose) {
    TempFile file;
    {
        FileOutputStream out(file.openWriter());
        out.write(Bytes(""), 0);
        out.write(Bytes("ne"), 2);
        out.writeByte('w');
        out.close();
        EXPECT_THROW(out.writeByte('y'), IOException);
        EXPECT_NO_THROW(out.close());
    }
    EXPECT_EQ(ReadFileBytes(file.path()), "new");
    EXPECT_EQ(file.size(), 3u);
    const FileSizeCap cap(4);
    if (cap.active()) {
        FileOutputStream out(file.openWriter());
        EXPECT_EQ(fixtures::messageOf([&] { out.write(Bytes("longer"), 6); }),
                  "I/O exception [errno(27) - File too large]");
    }
}

}  // namespace
