#include <gtest/gtest.h>

#include <memory>

#include "errors/IOException.h"
#include "streams/OLEStream.h"
#include "streams/ZlibReadableFile.h"
#include "support/OpenedCompoundFile.h"

using namespace fixtures;

namespace {

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
TEST(ZlibReadableFileTest, ReadsAnywhereGiveTheInflatedBytes) {
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
}

// As ZlibInputStream: data cut short ends the bytes where it stops, a limit caps them, damaged
// data is refused.
TEST(ZlibReadableFileTest, ShortLimitedAndDamagedData) {
    const Bytes data = sampleData(600000);
    const Bytes compressed = zlibCompress(data);

    StoredData cut(Bytes(compressed.begin(), compressed.begin() + compressed.size() / 2));
    const std::uint64_t size = cut.reader->measure(~0ull);
    EXPECT_GT(size, 0u);
    EXPECT_LT(size, data.size());
    EXPECT_EQ(cut.read(0, data.size()), slice(data, 0, size));

    StoredData limited(compressed);
    EXPECT_EQ(limited.reader->measure(200001), 200001u);
    EXPECT_EQ(limited.read(199990, 100), slice(data, 199990, 11));

    Bytes damaged = compressed;
    damaged[compressed.size() / 2] ^= 0xFF;
    StoredData broken(damaged);
    EXPECT_THROW(broken.reader->measure(~0ull), IOException);
}

}  // namespace
