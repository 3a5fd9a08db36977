#include <gtest/gtest.h>

#include <zlib.h>

#include "streams/CRCOutputStream.h"
#include "streams/StreamTestSupport.h"
#include "streams/ZlibOutputStream.h"

namespace {

const std::uint8_t kDigits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

// The check value of "123456789", whether written whole, in pieces with an empty write between
// (zlib restarts the value when handed no buffer) or byte by byte.
TEST(CRCOutputStreamTest, CheckValueWhateverTheWrites) {
    MemoryOutputStream pieces;
    CRCOutputStream crc(pieces);
    EXPECT_EQ(crc.crc(), 0u);
    crc.write(kDigits, 4);
    crc.write(nullptr, 0);
    crc.write(kDigits + 4, 5);
    EXPECT_EQ(crc.crc(), 0xCBF43926u);
    EXPECT_EQ(pieces.bytes, "123456789");
    EXPECT_EQ(pieces.writes, (std::vector<std::size_t>{4, 0, 5}));

    MemoryOutputStream bytes;
    CRCOutputStream byteByByte(bytes);
    for (std::uint8_t digit : kDigits) {
        byteByByte.writeByte(digit);
    }
    EXPECT_EQ(byteByByte.crc(), 0xCBF43926u);
    EXPECT_EQ(bytes.bytes, "123456789");
}

TEST(CRCOutputStreamTest, DestructionFlushesTheDeflaterBelow) {
    MemoryOutputStream file;
    ZlibOutputStream zlib(file);
    {
        CRCOutputStream crc(zlib);
        crc.write(kDigits, sizeof kDigits);
        EXPECT_TRUE(file.bytes.empty());
    }
    std::uint8_t out[16];
    z_stream z{};
    ASSERT_EQ(inflateInit(&z), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(file.bytes.data());
    z.avail_in = static_cast<uInt>(file.bytes.size());
    z.next_out = out;
    z.avail_out = sizeof out;
    EXPECT_EQ(inflate(&z, Z_SYNC_FLUSH), Z_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), sizeof out - z.avail_out), "123456789");
    inflateEnd(&z);
}

}  // namespace
