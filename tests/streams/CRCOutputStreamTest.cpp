#include <gtest/gtest.h>

#include "streams/CRCOutputStream.h"
#include "streams/StreamTestSupport.h"

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
    EXPECT_EQ(pieces.text(), "123456789");
    EXPECT_EQ(pieces.writes, (std::vector<std::size_t>{4, 0, 5}));

    MemoryOutputStream bytes;
    CRCOutputStream byteByByte(bytes);
    for (std::uint8_t digit : kDigits) {
        byteByByte.writeByte(digit);
    }
    EXPECT_EQ(byteByByte.crc(), 0xCBF43926u);
    EXPECT_EQ(bytes.text(), "123456789");
}

}  // namespace
