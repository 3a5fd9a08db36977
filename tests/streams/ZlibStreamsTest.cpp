#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "ScratchFolder.h"
#include "errors/IOException.h"
#include "errors/ZlibErrorDetail.h"
#include "streams/MemoryStreams.h"
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
    return sink.bytes;
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

int ZlibCode(const IOException& e) {
    const auto* detail = dynamic_cast<const ZlibErrorDetail*>(e.detail());
    return detail != nullptr ? detail->code() : 0;
}

TEST(ZlibInputStreamTest, CompleteStreamInFullReads) {
    const std::string data = NoiseBytes(3 * 8192 + 100);
    MemoryInputStream compressed(Compress(data));
    ZlibInputStream in(compressed);
    std::string out(8192, '\0');
    auto* buffer = reinterpret_cast<std::uint8_t*>(out.data());
    std::string all;
    for (std::size_t expected : {8192, 8192, 8192, 100}) {
        ASSERT_EQ(in.read(buffer, 8192), expected);
        all.append(out, 0, expected);
    }
    EXPECT_EQ(in.read(buffer, 8192), 0u);
    EXPECT_EQ(in.read(buffer, 8192), 0u);
    EXPECT_EQ(all, data);
    EXPECT_EQ(in.tell(), static_cast<std::int64_t>(data.size()));
    EXPECT_TRUE(in.atStreamEnd());
    for (std::size_t request : compressed.requests) {
        EXPECT_EQ(request, 64u * 1024);  // the whole input buffer at a time
    }
}

TEST(ZlibInputStreamTest, ReadByteAdvancesTellByOne) {
    MemoryInputStream compressed(Compress("hello"));
    ZlibInputStream in(compressed);
    EXPECT_EQ(in.readByte(), 'h');
    EXPECT_EQ(in.tell(), 1);
    EXPECT_EQ(in.readByte(), 'e');
    EXPECT_EQ(in.tell(), 2);
    EXPECT_EQ(in.skip(10), 3u);
    EXPECT_EQ(in.readByte(), -1);
    EXPECT_EQ(in.tell(), 5);
}

TEST(ZlibInputStreamTest, CutOffStreamYieldsItsPrefixThenFails) {
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
    try {
        in.read(reinterpret_cast<std::uint8_t*>(out.data()), out.size());
        FAIL() << "a read past the cut must fail";
    } catch (const IOException& e) {
        EXPECT_EQ(ZlibCode(e), Z_BUF_ERROR);
    }
}

TEST(ZlibInputStreamTest, GarbageFailsWithDataErrorAgainAndAgain) {
    MemoryInputStream garbage("this is not zlib data at all");
    ZlibInputStream in(garbage);
    std::uint8_t buffer[16];
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            in.read(buffer, sizeof buffer);
            FAIL() << "garbage must not inflate";
        } catch (const IOException& e) {
            EXPECT_EQ(ZlibCode(e), Z_DATA_ERROR);
            EXPECT_NE(e.detail()->text().find("zlib(Z_DATA_ERROR) - "), std::string::npos);
        }
    }
}

TEST(ZlibOutputStreamTest, FlushOfNothingEndsWithSyncMarker) {
    MemoryOutputStream sink;
    ZlibOutputStream zlib(sink);
    zlib.flush();
    const std::string first = sink.bytes;
    ASSERT_GE(first.size(), 6u);
    EXPECT_EQ(first.substr(first.size() - 4), std::string("\0\0\xFF\xFF", 4));
    EXPECT_EQ(sink.flushes, 1);
    zlib.flush();
    EXPECT_EQ(sink.bytes, first);
    EXPECT_EQ(sink.flushes, 2);
    MemoryInputStream back(first);
    ZlibInputStream in(back);
    std::uint8_t buffer[16];
    EXPECT_EQ(in.read(buffer, sizeof buffer), 0u);
}

TEST(ZlibOutputStreamTest, RoundTripThroughFlush) {
    for (const std::string& data :
         {std::string("x"), NoiseBytes(100000), std::string(70000, 'a')}) {
        MemoryInputStream compressed(Deflate(data, false));
        ZlibInputStream in(compressed);
        EXPECT_EQ(InflateAll(in, data.size()), data);
        EXPECT_FALSE(in.atStreamEnd());
    }
}

TEST(ZlibOutputStreamTest, WholeBuffersOnlyReachInnerBeforeFlush) {
    MemoryOutputStream sink;
    ZlibOutputStream zlib(sink);
    const std::string data = NoiseBytes(500000);
    zlib.write(Bytes(data), data.size());
    EXPECT_FALSE(sink.writes.empty());
    for (std::size_t count : sink.writes) {
        EXPECT_EQ(count, 8192u);
    }
}

TEST(ZlibOutputStreamTest, FinishedStreamInflatesWithPlainZlib) {
    const std::string data = NoiseBytes(30000) + std::string(30000, 'z');
    const std::string compressed = Deflate(data, true);
    std::string out(data.size() + 1, '\0');
    uLongf size = static_cast<uLongf>(out.size());
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size, Bytes(compressed),
                         static_cast<uLong>(compressed.size())),
              Z_OK);
    out.resize(size);
    EXPECT_EQ(out, data);

    MemoryInputStream back(compressed);
    ZlibInputStream in(back);
    EXPECT_EQ(InflateAll(in), data);
    EXPECT_TRUE(in.atStreamEnd());
}

TEST(ZlibOutputStreamTest, WritesAfterFinishFailAndFlushAddsNothing) {
    MemoryOutputStream sink;
    ZlibOutputStream zlib(sink);
    zlib.write(Bytes("abc"), 3);
    zlib.finish();
    const std::string finished = sink.bytes;
    zlib.finish();
    zlib.flush();
    EXPECT_EQ(sink.bytes, finished);
    EXPECT_THROW(zlib.writeByte('d'), IOException);
}

TEST(ZlibOutputStreamTest, DestroyingWithoutFlushKeepsSmallDataBack) {
    MemoryOutputStream sink;
    {
        ZlibOutputStream zlib(sink);
        zlib.write(Bytes("lost"), 4);
    }
    EXPECT_TRUE(sink.bytes.empty());
    EXPECT_EQ(sink.flushes, 1);
}

// Whether Python's zlib module, a reader independent of this code, inflates `compressed`
// back to `data`.
bool PythonInflates(const std::string& compressed, const std::string& data) {
    ScratchFolder scratch;
    WriteFileBytes(scratch / "in.z", compressed);
    WriteFileBytes(scratch / "expected", data);
    const std::string command =
        "/usr/bin/python3 -c 'import sys, zlib; "
        "sys.exit(zlib.decompress(open(sys.argv[1], \"rb\").read()) != "
        "open(sys.argv[2], \"rb\").read())' '" +
        (scratch / "in.z").string() + "' '" + (scratch / "expected").string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST(ZlibOutputStreamTest, PythonReadsFinishedButNotMerelyFlushedData) {
    if (::access("/usr/bin/python3", X_OK) != 0) {
        GTEST_SKIP() << "/usr/bin/python3 is not installed";
    }
    const std::string data = NoiseBytes(20000) + "tail";
    EXPECT_TRUE(PythonInflates(Deflate(data, true), data));
    EXPECT_FALSE(PythonInflates(Deflate(data, false), data));
}

}  // namespace
