#include <gtest/gtest.h>

#include <string>

#include "FileSizeCap.h"
#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "errors/IOException.h"
#include "streams/CRCOutputStream.h"
#include "streams/CopyStream.h"
#include "streams/FileOutputStream.h"
#include "streams/LimitedInputStream.h"
#include "streams/OutputStreamDecorator.h"
#include "streams/TempFile.h"
#include "streams/TempFileInputStream.h"
#include "support/MemoryInputStream.h"
#include "support/MemoryOutputStream.h"
#include "support/MessageOf.h"

using namespace fixtures;

namespace {

// A stream with only readByte(), to exercise the default read() and skip().
class ByteOnlyInputStream : public InputStream {
public:
    int readByte() override {
        ++byteReads;
        return position_ < 700 ? static_cast<int>(position_++ & 0xFF) : -1;
    }
    std::int64_t tell() override { return static_cast<std::int64_t>(position_); }

    int byteReads = 0;

private:
    std::size_t position_ = 0;
};

// read() goes byte by byte by default; skip() and copyStream() go through read() in chunks until
// a short read.
TEST(InputStreamTest, DefaultReadGoesByteBySkipAndCopyGoThroughReadUntilAShortRead) {
    ByteOnlyInputStream byteOnly;
    std::uint8_t buffer[4];
    EXPECT_EQ(byteOnly.read(buffer, 0), 0u);
    EXPECT_EQ(byteOnly.byteReads, 0);
    EXPECT_EQ(byteOnly.read(buffer, 4), 4u);
    EXPECT_EQ(buffer[3], 3);
    EXPECT_EQ(byteOnly.skip(1u << 20), 696u);
    EXPECT_EQ(byteOnly.readByte(), -1);

    MemoryInputStream in(Bytes(1000, 'x'));
    EXPECT_EQ(in.skip(0), 0u);
    EXPECT_TRUE(in.requests.empty());
    EXPECT_EQ(in.skip(1300), 1000u);
    EXPECT_EQ(in.requests, (std::vector<std::size_t>{512, 512}));
    EXPECT_EQ(in.tell(), 1000);

    const Bytes data = pattern(20000);
    MemoryInputStream copied(data);
    MemoryOutputStream out;
    EXPECT_EQ(copyStream(copied, out, 8192), data.size());
    EXPECT_EQ(out.data, data);
    EXPECT_EQ(copied.requests, (std::vector<std::size_t>{8192, 8192, 8192}));
}

// Reads never ask the inner stream for more than remains; a short inner lowers what remains by
// what arrived only; skip stops at the limit and seek keeps it.
TEST(LimitedInputStreamTest, ReadsSkipsAndSeeksStayWithinTheLimit) {
    MemoryInputStream inner(Bytes(100, 'a'));
    LimitedInputStream limited(inner, 10);
    std::uint8_t buffer[64];
    EXPECT_EQ(limited.read(buffer, 64), 10u);
    EXPECT_EQ(inner.requests, std::vector<std::size_t>{10});
    EXPECT_EQ(limited.readByte(), -1);
    EXPECT_EQ(limited.read(buffer, 64), 0u);
    EXPECT_EQ(limited.skip(5), 0u);
    EXPECT_EQ(inner.requests.size(), 1u);
    EXPECT_EQ(inner.byteReads, 0);

    MemoryInputStream shortInner(text("abcde"));
    LimitedInputStream overlong(shortInner, 20);
    EXPECT_EQ(overlong.read(buffer, 64), 5u);
    EXPECT_EQ(overlong.readByte(), -1);
    EXPECT_EQ(overlong.remaining(), 15u);

    MemoryInputStream third(Bytes(100, 'a'));
    LimitedInputStream skipped(third, 3);
    EXPECT_EQ(skipped.skip(5), 3u);
    EXPECT_EQ(skipped.remaining(), 0u);
    EXPECT_EQ(third.tell(), 3);
    skipped.seek(50, SeekOrigin::Begin);
    EXPECT_EQ(third.tell(), 50);
    EXPECT_EQ(skipped.tell(), 50);
    EXPECT_EQ(skipped.remaining(), 0u);
}

class FailingFlushStream : public MemoryOutputStream {
public:
    void flush() override {
        ++flushes;
        throw IOException();
    }
};

// Destruction flushes the wrapped stream once, swallowing a failure, and leaves it usable; an
// explicit flush reports the failure.
TEST(OutputStreamDecoratorTest, DestructionFlushesTheInnerOnce) {
    MemoryOutputStream inner;
    {
        OutputStreamDecorator decorator(inner);
        decorator.write(reinterpret_cast<const std::uint8_t*>("ab"), 2);
        decorator.writeByte('c');
    }
    EXPECT_EQ(inner.flushes, 1);
    inner.writeByte('d');
    EXPECT_EQ(inner.text(), "abcd");

    FailingFlushStream failing;
    EXPECT_NO_THROW({ OutputStreamDecorator decorator(failing); });
    EXPECT_EQ(failing.flushes, 1);
    OutputStreamDecorator decorator(failing);
    EXPECT_THROW(decorator.flush(), IOException);
}

// The check value of "123456789", whether written whole, in pieces with an empty write between
// (zlib restarts the value when handed no buffer) or byte by byte.
TEST(CRCOutputStreamTest, CheckValueWhateverTheWrites) {
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    MemoryOutputStream pieces;
    MemoryOutputStream bytes;
    CRCOutputStream crc(pieces);
    CRCOutputStream byteByByte(bytes);
    EXPECT_EQ(crc.crc(), 0u);
    crc.write(digits, 4);
    crc.write(nullptr, 0);
    crc.write(digits + 4, 5);
    for (std::uint8_t digit : digits) {
        byteByByte.writeByte(digit);
    }
    EXPECT_EQ(pieces.writes, (std::vector<std::size_t>{4, 0, 5}));
    for (const auto& [stream, sink] : {std::pair{&crc, &pieces}, std::pair{&byteByByte, &bytes}}) {
        EXPECT_EQ(stream->crc(), 0xCBF43926u);
        EXPECT_EQ(sink->text(), "123456789");
    }
}

const auto* bytesOf(const char* s) {
    return reinterpret_cast<const std::uint8_t*>(s);
}

// Points the temporary folder at a scratch folder for one test.
class FileStreamsTest : public ::testing::Test {
protected:
    ScratchFolder scratch_;
    ScopedTmpdir tmpdir_{scratch_.path().string()};
};

TEST_F(FileStreamsTest, ReadTellSeekAndCloseAlsoBeyondFourGigabytes) {
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

    const std::int64_t far = (std::int64_t{5} << 30) + 3;
    std::filesystem::resize_file(file.path(), static_cast<std::uintmax_t>(far));
    ASSERT_EQ(file.openWriter()->writeAt(far, "end", 3), 0);
    TempFileInputStream large(file);
    large.seek(far, SeekOrigin::Begin);
    EXPECT_EQ(large.tell(), far);
    EXPECT_EQ(large.readByte(), 'e');
    EXPECT_EQ(large.skip(10), 2u);
    EXPECT_EQ(large.tell(), far + 3);
}

TEST_F(FileStreamsTest, WritesAreStoredOrReportedAndEndWithClose) {
    TempFile file;
    {
        FileOutputStream out(file.openWriter());
        out.write(bytesOf(""), 0);
        out.write(bytesOf("ne"), 2);
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
        EXPECT_EQ(fixtures::messageOf([&] { out.write(bytesOf("longer"), 6); }),
                  "I/O exception [errno(27) - File too large]");
    }
}

}  // namespace
