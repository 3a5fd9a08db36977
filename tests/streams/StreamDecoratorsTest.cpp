#include <gtest/gtest.h>

#include <memory>

#include "errors/IOException.h"
#include "streams/CopyStream.h"
#include "streams/LimitedInputStream.h"
#include "streams/MemoryStreams.h"
#include "streams/OutputStreamDecorator.h"

namespace {

TEST(InputStreamDefaultsTest, ReadOfNothingTouchesNoByte) {
    ByteOnlyInputStream in(10);
    std::uint8_t buffer[4];
    EXPECT_EQ(in.read(buffer, 0), 0u);
    EXPECT_EQ(in.byteReads, 0);
    EXPECT_EQ(in.read(buffer, 4), 4u);
    EXPECT_EQ(buffer[3], 3);
}

TEST(InputStreamDefaultsTest, SkipGoesThroughReadInChunksUntilShortRead) {
    MemoryInputStream in(std::string(1000, 'x'));
    EXPECT_EQ(in.skip(0), 0u);
    EXPECT_TRUE(in.requests.empty());
    EXPECT_EQ(in.skip(1300), 1000u);
    EXPECT_EQ(in.requests, (std::vector<std::size_t>{512, 512}));
    EXPECT_EQ(in.tell(), 1000);
}

TEST(InputStreamDefaultsTest, SkipOfByteOnlyStreamStopsAtItsEnd) {
    ByteOnlyInputStream in(700);
    EXPECT_EQ(in.skip(1u << 20), 700u);
    EXPECT_EQ(in.readByte(), -1);
}

TEST(LimitedInputStreamTest, ReadAsksInnerForNoMoreThanRemaining) {
    MemoryInputStream inner(std::string(100, 'a'));
    LimitedInputStream limited(inner, 10);
    std::uint8_t buffer[64];
    EXPECT_EQ(limited.read(buffer, 64), 10u);
    EXPECT_EQ(inner.requests, std::vector<std::size_t>{10});
    EXPECT_EQ(limited.readByte(), -1);
    EXPECT_EQ(limited.read(buffer, 64), 0u);
    EXPECT_EQ(inner.requests.size(), 1u);
    EXPECT_EQ(inner.byteReads, 0);
    EXPECT_EQ(limited.remaining(), 0u);
}

TEST(LimitedInputStreamTest, ShortInnerLowersRemainingByWhatArrived) {
    MemoryInputStream inner("abcde");
    LimitedInputStream limited(inner, 20);
    std::uint8_t buffer[64];
    EXPECT_EQ(limited.read(buffer, 64), 5u);
    EXPECT_EQ(limited.remaining(), 15u);
    EXPECT_EQ(limited.readByte(), -1);
    EXPECT_EQ(limited.remaining(), 15u);
}

TEST(LimitedInputStreamTest, SkipStopsAtRemaining) {
    MemoryInputStream inner(std::string(100, 'a'));
    LimitedInputStream limited(inner, 3);
    EXPECT_EQ(limited.skip(5), 3u);
    EXPECT_EQ(limited.remaining(), 0u);
    EXPECT_EQ(inner.tell(), 3);
}

TEST(LimitedInputStreamTest, SeekAndTellGoToInnerAndKeepRemaining) {
    MemoryInputStream inner(std::string(100, 'a'));
    LimitedInputStream limited(inner, 10);
    limited.seek(50, SeekOrigin::Begin);
    EXPECT_EQ(inner.tell(), 50);
    EXPECT_EQ(limited.tell(), 50);
    EXPECT_EQ(limited.remaining(), 10u);
}

class FailingFlushStream : public MemoryOutputStream {
public:
    void flush() override {
        ++flushes;
        throw IOException();
    }
};

TEST(OutputStreamDecoratorTest, DestructionFlushesInnerOnceAndLeavesItUsable) {
    MemoryOutputStream inner;
    {
        OutputStreamDecorator decorator(inner);
        decorator.write(reinterpret_cast<const std::uint8_t*>("ab"), 2);
        decorator.writeByte('c');
    }
    EXPECT_EQ(inner.flushes, 1);
    inner.writeByte('d');
    EXPECT_EQ(inner.bytes, "abcd");
}

TEST(OutputStreamDecoratorTest, DestructionSwallowsAFailingFlush) {
    FailingFlushStream inner;
    EXPECT_NO_THROW({ OutputStreamDecorator decorator(inner); });
    EXPECT_EQ(inner.flushes, 1);
    OutputStreamDecorator decorator(inner);
    EXPECT_THROW(decorator.flush(), IOException);
}

TEST(CopyStreamTest, CopiesInChunksOfTheGivenSizeUntilTheFirstShortRead) {
    const std::string data = NoiseBytes(20000);
    MemoryInputStream byDefault(data);
    MemoryOutputStream out;
    EXPECT_EQ(copyStream(byDefault, out), data.size());
    EXPECT_EQ(out.bytes, data);
    EXPECT_EQ(byDefault.requests, (std::vector<std::size_t>{8192, 8192, 8192}));

    MemoryInputStream large(data);
    MemoryOutputStream largeOut;
    EXPECT_EQ(copyStream(large, largeOut, 1 << 20), data.size());
    EXPECT_EQ(largeOut.bytes, data);
    EXPECT_EQ(large.requests, (std::vector<std::size_t>{1 << 20}));
}

}  // namespace
