#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>

#include "errors/IOException.h"
#include "streams/StreamTestSupport.h"
#include "streams/ZlibInputStream.h"
#include "streams/ZlibOutputStream.h"

namespace {

const auto* Bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::string Compress(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, Bytes(data),
             static_cast<uLong>(data.size()));
    out.resize(size);
    return out;
}

// What plain zlib, a reader that shares no code with the streams, makes of `compressed`:
// the data, or nothing when it refuses it.
std::optional<std::string> Uncompress(const std::string& compressed, std::size_t size) {
    std::string out(size + 1, '\0');
    uLongf got = static_cast<uLongf>(out.size());
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &got, Bytes(compressed),
                   static_cast<uLong>(compressed.size())) != Z_OK) {
        return std::nullopt;
    }
    out.resize(got);
    return out;
}

// Deflates `data` through a ZlibOutputStream in uneven pieces; finished or only flushed.
std::string Deflate(const std::string& data, bool finish) {
    MemoryOutputStream sink;
    ZlibOutputStream zlib(sink);
    for (std::size_t at = 0, piece = 1; at < data.size(); at += piece, piece = piece * 3 + 1) {
        zlib.write(Bytes(data) + at, std::min(piece, data.size() - at));
    }
    if (finish) {
        zlib.finish();
    } else {
        zlib.flush();
    }
    return sink.text();
}

// Reads until `limit` bytes have arrived or a read delivers nothing. Data that was only
// flushed has no end marker: its reader knows the length and must not read past it.
std::string InflateAll(InputStream& in, std::size_t limit = SIZE_MAX) {
    std::string out;
    std::uint8_t buffer[5000];
    while (out.size() < limit) {
        const std::size_t n = in.read(buffer, std::min(sizeof buffer, limit - out.size()));
        if (n == 0) {
            break;
        }
        out.append(reinterpret_cast<char*>(buffer), n);
    }
    return out;
}

// The detail of the IOException that reading `in` to its end throws.
std::string FailureOfRead(InputStream& in) {
    std::uint8_t buffer[64];
    try {
        while (in.read(buffer, sizeof buffer) > 0) {
        }
    } catch (const IOException& e) {
        return e.detail() != nullptr ? e.detail()->text() : "no detail";
    }
    return "no exception";
}

// Reads are served in full until the end, whatever the input pieces; readByte() delivers bytes
// as unsigned values and moves tell() by one.
TEST(ZlibInputStreamTest, CompleteStreamInFullReads) {
    const std::string data = NoiseBytes(3 * 8192 + 100);
    MemoryInputStream compressed(Compress(data));
    ZlibInputStream in(compressed);
    EXPECT_EQ(in.readByte(), static_cast<std::uint8_t>(data[0]));
    EXPECT_EQ(in.tell(), 1);
    std::string out(8192, '\0');
    auto* buffer = reinterpret_cast<std::uint8_t*>(out.data());
    std::string all = data.substr(0, 1);
    for (std::size_t expected : {8192, 8192, 8192, 99}) {
        ASSERT_EQ(in.read(buffer, 8192), expected);
        all.append(out, 0, expected);
    }
    EXPECT_EQ(in.read(buffer, 8192), 0u);
    EXPECT_EQ(in.readByte(), -1);
    EXPECT_EQ(all, data);
    EXPECT_EQ(in.tell(), static_cast<std::int64_t>(data.size()));
    EXPECT_TRUE(in.atStreamEnd());
    for (std::size_t request : compressed.requests) {
        EXPECT_EQ(request, 64u * 1024);  // the whole input buffer at a time
    }
}

// A cut-off stream yields its prefix, then fails; garbage fails with a data error every time.
TEST(ZlibInputStreamTest, DamagedDataFailsWithTheZlibCode) {
    const std::string data = NoiseBytes(20000);
    const std::string compressed = Compress(data);
    MemoryInputStream cut(compressed.substr(0, compressed.size() / 2));
    ZlibInputStream in(cut);
    std::string out(data.size(), '\0');
    const std::size_t got = in.read(reinterpret_cast<std::uint8_t*>(out.data()), out.size());
    EXPECT_GT(got, 0u);
    EXPECT_LT(got, data.size());
    EXPECT_EQ(out.substr(0, got), data.substr(0, got));
    EXPECT_FALSE(in.atStreamEnd());
    EXPECT_EQ(FailureOfRead(in).rfind("zlib(Z_BUF_ERROR)", 0), 0u);

    MemoryInputStream garbage("this is not zlib data at all");
    ZlibInputStream garbled(garbage);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(FailureOfRead(garbled).rfind("zlib(Z_DATA_ERROR) - ", 0), 0u);
    }
}

TEST(ZlibOutputStreamTest, FlushOfNothingEndsWithSyncMarker) {
    MemoryOutputStream sink;
    ZlibOutputStream zlib(sink);
    zlib.flush();
    const std::string first = sink.text();
    ASSERT_GE(first.size(), 6u);
    EXPECT_EQ(first.substr(first.size() - 4), std::string("\0\0\xFF\xFF", 4));
    EXPECT_EQ(sink.flushes, 1);
    zlib.flush();
    EXPECT_EQ(sink.text(), first);
    EXPECT_EQ(sink.flushes, 2);
    MemoryInputStream back(first);
    ZlibInputStream in(back);
    std::uint8_t buffer[16];
    EXPECT_EQ(in.read(buffer, sizeof buffer), 0u);
}

// Flushed data reads back through our inflater only; standard zlib readers refuse it as
// incomplete.
TEST(ZlibOutputStreamTest, RoundTripThroughFlush) {
    for (const std::string& data :
         {std::string("x"), NoiseBytes(100000), std::string(70000, 'a')}) {
        const std::string flushed = Deflate(data, false);
        MemoryInputStream compressed(flushed);
        ZlibInputStream in(compressed);
        EXPECT_EQ(InflateAll(in, data.size()), data);
        EXPECT_FALSE(in.atStreamEnd());
        EXPECT_FALSE(Uncompress(flushed, data.size()));
    }
}

TEST(ZlibOutputStreamTest, FinishedStreamInflatesWithPlainZlib) {
    const std::string data = NoiseBytes(30000) + std::string(30000, 'z');
    const std::string compressed = Deflate(data, true);
    EXPECT_EQ(Uncompress(compressed, data.size()), data);
    MemoryInputStream back(compressed);
    ZlibInputStream in(back);
    EXPECT_EQ(InflateAll(in), data);
    EXPECT_TRUE(in.atStreamEnd());
}

TEST(ZlibOutputStreamTest, WritesAfterFinishFailAndUnflushedDataIsKeptBack) {
    MemoryOutputStream sink;
    ZlibOutputStream zlib(sink);
    zlib.write(Bytes("abc"), 3);
    zlib.finish();
    const std::string finished = sink.text();
    zlib.finish();
    zlib.flush();
    EXPECT_EQ(sink.text(), finished);
    EXPECT_THROW(zlib.writeByte('d'), IOException);

    MemoryOutputStream lost;
    {
        ZlibOutputStream unflushed(lost);
        unflushed.write(Bytes("lost"), 4);
    }
    EXPECT_TRUE(lost.text().empty());
    EXPECT_EQ(lost.flushes, 1);
}

}  // namespace
