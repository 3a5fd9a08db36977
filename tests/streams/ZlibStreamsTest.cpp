#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "errors/IOException.h"
#include "streams/OLEStream.h"
#include "streams/ZlibInputStream.h"
#include "streams/ZlibOutputStream.h"
#include "streams/ZlibReadableFile.h"
#include "support/MemoryInputStream.h"
#include "support/MemoryOutputStream.h"
#include "support/OpenedCompoundFile.h"

using namespace fixtures;

namespace {

// Reads until a read delivers nothing or one fails; returns the bytes and the detail of the
// IOException that stopped them ("" if none).
std::pair<Bytes, std::string> readAll(InputStream& in) {
    Bytes out;
    std::uint8_t buffer[5000];
    try {
        for (std::size_t n; (n = in.read(buffer, sizeof buffer)) != 0;) {
            out.insert(out.end(), buffer, buffer + n);
        }
    } catch (const IOException& e) {
        return {out, e.detail() != nullptr ? e.detail()->text() : "no detail"};
    }
    return {out, ""};
}

// A finished stream inflates with plain zlib, and with ours in full reads until the end,
// whatever the input pieces; readByte() delivers bytes as unsigned values and moves tell() by one.
TEST(ZlibInputStreamTest, FinishedStreamInflatesInFullReadsDamagedOneFails) {
    const Bytes data = concat({pattern(3 * 8192 + 100 - 5000), Bytes(5000, 'z')});
    MemoryOutputStream sink;  // deflated in uneven pieces
    ZlibOutputStream zlib(sink);
    for (std::size_t at = 0, piece = 1; at < data.size(); at += piece, piece = piece * 3 + 1) {
        zlib.write(data.data() + at, std::min(piece, data.size() - at));
    }
    zlib.finish();
    const Bytes& deflated = sink.data;
    EXPECT_EQ(zlibUncompress(deflated, data.size()), data);
    MemoryInputStream compressed(deflated);
    ZlibInputStream in(compressed);
    EXPECT_EQ(in.readByte(), data[0]);
    EXPECT_EQ(in.tell(), 1);
    Bytes all(data.begin(), data.begin() + 1);
    std::uint8_t buffer[8192];
    for (std::size_t expected : {8192, 8192, 8192, 99}) {
        ASSERT_EQ(in.read(buffer, 8192), expected);
        all.insert(all.end(), buffer, buffer + expected);
    }
    EXPECT_EQ(in.read(buffer, 8192), 0u);
    EXPECT_EQ(in.readByte(), -1);
    EXPECT_EQ(all, data);
    EXPECT_EQ(in.tell(), static_cast<std::int64_t>(data.size()));
    EXPECT_TRUE(in.atStreamEnd());
    for (std::size_t request : compressed.requests) {
        EXPECT_EQ(request, 64u * 1024);  // the whole input buffer at a time
    }

    // A cut-off stream yields its prefix, then fails; garbage fails with a data error every time.
    const Bytes plain = pattern(20000);
    const Bytes packed = zlibCompress(plain);
    MemoryInputStream cut(Bytes(packed.begin(), packed.begin() + packed.size() / 2));
    ZlibInputStream cutIn(cut);
    const auto [prefix, failure] = readAll(cutIn);
    EXPECT_GT(prefix.size(), 0u);
    EXPECT_LT(prefix.size(), plain.size());
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), plain.begin()));
    EXPECT_FALSE(cutIn.atStreamEnd());
    EXPECT_EQ(failure.rfind("zlib(Z_BUF_ERROR)", 0), 0u);

    MemoryInputStream garbage(text("this is not zlib data at all"));
    ZlibInputStream garbled(garbage);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(readAll(garbled).second.rfind("zlib(Z_DATA_ERROR) - ", 0), 0u);
    }
}

// A flush with nothing new adds nothing, nor do finishes and flushes after the finish, when
// writes fail; data never flushed nor finished is not written at all.
TEST(ZlibOutputStreamTest, NothingNewAddsNothing) {
    MemoryOutputStream sink;
    ZlibOutputStream zlib(sink);
    zlib.flush();
    const Bytes first = sink.data;
    zlib.flush();
    EXPECT_EQ(sink.data, first);
    EXPECT_EQ(sink.flushes, 2);
    zlib.writeByte('a');
    zlib.finish();
    const Bytes finished = sink.data;
    zlib.finish();
    zlib.flush();
    EXPECT_EQ(sink.data, finished);
    EXPECT_THROW(zlib.writeByte('d'), IOException);

    MemoryOutputStream lost;
    {
        ZlibOutputStream unflushed(lost);
        unflushed.writeByte('l');
    }
    EXPECT_TRUE(lost.data.empty());
    EXPECT_EQ(lost.flushes, 1);
}

constexpr std::size_t kPrefix = 100;  // bytes of the stream before the compressed data

// Bytes that compress a few times over but never repeat a long run, so that every part of the
// output depends on where inflating started.
Bytes sampleData(std::size_t size) {
    Bytes data(size);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        data[i] = static_cast<std::uint8_t>((state >> 16) % 16 + (i / 4096) % 7);
    }
    return data;
}

// The compressed bytes stored in the stream "S" of a compound file, behind kPrefix other bytes
// and followed by a few more, read through a ZlibReadableFile.
struct StoredData {
    explicit StoredData(const Bytes& compressed)
        : file({{"S", concat({zeros(kPrefix), compressed, text("trailing")})}}) {
        auto source = std::make_unique<OLEStream>();
        EXPECT_TRUE(source->open(file.storage, "S"));
        reader = std::make_unique<ZlibReadableFile>(std::move(source), kPrefix, compressed.size());
    }

    Bytes read(std::uint64_t offset, std::size_t count) {
        Bytes out(count);
        std::size_t got = 0;
        EXPECT_EQ(reader->readAt(offset, out.data(), count, &got), 0);
        out.resize(got);
        return out;
    }

    OpenedCompoundFile file;
    std::unique_ptr<ZlibReadableFile> reader;
};

Bytes slice(const Bytes& data, std::uint64_t offset, std::size_t count) {
    const std::size_t start =
        static_cast<std::size_t>(std::min<std::uint64_t>(offset, data.size()));
    return Bytes(data.begin() + start, data.begin() + std::min(data.size(), start + count));
}

// Reads anywhere, in any order, give the inflated bytes; going back costs at most the distance
// between two kept inflater states, never a new start from the beginning. 9 MiB is enough for
// the spacing of the states to double twice.
TEST(ZlibReadableFileTest, ReadsAnywhereGiveTheInflatedBytesUnlessCutLimitedOrDamaged) {
    const Bytes data = sampleData(9 << 20);
    StoredData stored(zlibCompress(data));
    ASSERT_EQ(stored.reader->measure(~0ull), data.size());
    EXPECT_EQ(stored.reader->size(), data.size());
    const std::uint64_t block = ZlibReadableFile::kBlockBytes;
    const std::uint64_t offsets[] = {
        0,       5,       block - 3, 3 * block,   data.size() - 10, block + 1,
        8 << 20, 2 << 20, 1 << 20,   data.size(), data.size() + 5};
    for (const std::uint64_t offset : offsets) {
        SCOPED_TRACE(offset);
        const std::uint64_t before = stored.reader->inflatedBytes();
        EXPECT_EQ(stored.read(offset, 3 * block), slice(data, offset, 3 * block));
        EXPECT_LE(stored.reader->inflatedBytes() - before, (2u << 20) + 4 * block);
    }
    stored.reader->trim();
    EXPECT_EQ(stored.read(4 << 20, 1000), slice(data, 4 << 20, 1000));

    // As ZlibInputStream: data cut short ends the bytes where it stops, a limit caps them, damaged
    // data is refused.
    const Bytes small(data.begin(), data.begin() + 600000);
    const Bytes packed = zlibCompress(small);

    StoredData cut(Bytes(packed.begin(), packed.begin() + packed.size() / 2));
    const std::uint64_t size = cut.reader->measure(~0ull);
    EXPECT_GT(size, 0u);
    EXPECT_LT(size, small.size());
    EXPECT_EQ(cut.read(0, small.size()), slice(small, 0, size));

    StoredData limited(packed);
    EXPECT_EQ(limited.reader->measure(200001), 200001u);
    EXPECT_EQ(limited.read(199990, 100), slice(small, 199990, 11));

    Bytes damaged = packed;
    damaged[packed.size() / 2] ^= 0xFF;
    StoredData broken(damaged);
    EXPECT_THROW(broken.reader->measure(~0ull), IOException);
}

}  // namespace
