#include <gtest/gtest.h>

#include <memory>

#include "errors/IOException.h"
#include "streams/CopyStream.h"
#include "streams/LimitedInputStream.h"
#include "streams/OutputStreamDecorator.h"
#include "streams/StreamTestSupport.h"

namespace {

TEST(InputStreamDefaultsTest, ReadGoesByteBySkipGoesThroughReadUntilAShortRead) {
    ByteOnlyInputStream byteOnly(700);
    std::uint8_t buffer[4];
    EXPECT_EQ(byteOnly.read(buffer, 0), 0u);
    EXPECT_EQ(byteOnly.byteReads, 0);
    EXPECT_EQ(byteOnly.read(buffer, 4), 4u);
    EXPECT_EQ(buffer[3], 3);
    EXPECT_EQ(byteOnly.skip(1u << 20), 696u);
    EXPECT_EQ(byteOnly.readByte(), -1);

    MemoryInputStream in(std::string(1000, 'x'));
    EXPECT_EQ(in.skip(0), 0u);
    EXPECT_TRUE(in.requests.empty());
    EXPECT_EQ(in.skip(1300), 1000u);
    EXPECT_EQ(in.requests, (std::vector<std::size_t>{512, 512}));
    EXPECT_EQ(in.tell(), 1000);
}

TEST(LimitedInputStreamTest, ReadsAskTheInnerForNoMoreThanRemains) {
    MemoryInputStream inner(std::string(100, 'a'));
    LimitedInputStream limited(inner, 10);
    std::uint8_t buffer[64];
    EXPECT_EQ(limited.read(buffer, 64), 10u);
    EXPECT_EQ(inner.requests, std::vector<std::size_t>{10});
    EXPECT_EQ(limited.readByte(), -1);
    EXPECT_EQ(limited.read(buffer, 64), 0u);
    EXPECT_EQ(limited.skip(5), 0u);
    EXPECT_EQ(inner.requests.size(), 1u);
    EXPECT_EQ(inner.byteReads, 0);
    // A short inner lowers what remains by what arrived only.
    MemoryInputStream shortInner("abcde");
    LimitedInputStream overlong(shortInner, 20);
    EXPECT_EQ(overlong.read(buffer, 64), 5u);
    EXPECT_EQ(overlong.readByte(), -1);
    EXPECT_EQ(overlong.remaining(), 15u);
}

TEST(LimitedInputStreamTest, SkipStopsAtTheLimitAndSeekKeepsIt) {
    MemoryInputStream inner(std::string(100, 'a'));
    LimitedInputStream limited(inner, 3);
    EXPECT_EQ(limited.skip(5), 3u);
    EXPECT_EQ(limited.remaining(), 0u);
    EXPECT_EQ(inner.tell(), 3);
    limited.seek(50, SeekOrigin::Begin);
    EXPECT_EQ(inner.tell(), 50);
    EXPECT_EQ(limited.tell(), 50);
    EXPECT_EQ(limited.remaining(), 0u);
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

TEST(CopyStreamTest, CopiesInChunksOfTheGivenSizeUntilTheFirstShortRead) {
    const std::string data = NoiseBytes(20000);
    MemoryInputStream byDefault(data);
    MemoryInputStream large(data);
    MemoryOutputStream out;
    MemoryOutputStream largeOut;
    EXPECT_EQ(copyStream(byDefault, out), data.size());
    EXPECT_EQ(copyStream(large, largeOut, 1 << 20), data.size());
    EXPECT_EQ(out.text(), data);
    EXPECT_EQ(largeOut.text(), data);
    EXPECT_EQ(byDefault.requests, (std::vector<std::size_t>{8192, 8192, 8192}));
    EXPECT_EQ(large.requests, (std::vector<std::size_t>{1 << 20}));
}

}  // namespace
