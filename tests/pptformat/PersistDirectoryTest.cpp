#include <gtest/gtest.h>

#include "pptformat/PersistDirectory.h"
#include "streams/LittleEndian.h"
#include "support/MemoryOutputStream.h"
#include "support/Records.h"

using namespace fixtures;

namespace {

PersistDirectory directoryOf(const std::vector<std::uint32_t>& ids) {
    PersistDirectory directory;
    for (std::uint32_t id : ids) {
        directory.add(id, id * 100);
    }
    return directory;
}

// Runs of consecutive ids, whatever the order they were added in, with the offsets the objects
// take back to back in id order; the runs follow later additions.
TEST(PersistDirectoryTest, TwoRunsWithOffsetsOfBackToBackObjects) {
    PersistDirectory directory = directoryOf({7, 1, 8, 2, 3});
    directory.find(1)->size = 100;
    directory.find(2)->size = 20;
    EXPECT_EQ(directory.countRuns(), 2);
    EXPECT_EQ(directory.runHeader(1), 0x00300001u);
    EXPECT_EQ(directory.runHeader(2), 0x00200007u);
    MemoryOutputStream out;
    directory.write(out);
    EXPECT_EQ(out.data, concat({header(0x1772, 28), u32(0x00300001), u32(0), u32(108), u32(136),
                                u32(0x00200007), u32(144), u32(152)}));
    EXPECT_EQ(directory.maxPersistId(), 8u);
    directory.add(5, 0);
    EXPECT_EQ(directory.countRuns(), 3);
}

TEST(PersistDirectoryTest, FirstOffsetOfAnIdWinsAndIdsOutsideTheNumberingAreIgnored) {
    PersistDirectory directory = directoryOf({5, 0, 0xFFFFF, 0x100000});
    directory.add(5, 999);
    EXPECT_EQ(directory.entryCount(), 2u);
    EXPECT_EQ(directory.find(5)->offset, 500u);
    EXPECT_EQ(directory.find(5)->recordIndex, -1);
    EXPECT_NE(directory.find(0xFFFFF), nullptr);
    for (std::uint32_t missing : {0u, 6u, 0x100000u, UINT32_MAX}) {
        EXPECT_EQ(directory.find(missing), nullptr) << missing;
    }
}

TEST(PersistDirectoryTest, LongRunsAreSplitAt4095Ids) {
    std::vector<std::uint32_t> ids;
    for (std::uint32_t id = 1; id <= 5000; ++id) {
        ids.push_back(id);
    }
    PersistDirectory directory = directoryOf(ids);
    ASSERT_EQ(directory.countRuns(), 2);
    MemoryOutputStream out;
    directory.write(out);
    ASSERT_EQ(out.data.size(), 8u + 4 * (2 + 5000));
    EXPECT_EQ(Bytes(out.data.begin(), out.data.begin() + 8), header(0x1772, 4 * (2 + 5000)));
    const auto word = [&](std::size_t i) { return LittleEndian::readU32(&out.data[8 + 4 * i]); };
    EXPECT_EQ(word(0), 1u | (4095u << 20));
    EXPECT_EQ(word(4096), 4096u | (905u << 20));
    EXPECT_EQ(word(4095), 4094u * 8);
    EXPECT_EQ(word(4097), 4095u * 8);
    EXPECT_EQ(word(5001), 4999u * 8);
    EXPECT_EQ(directory.maxPersistId(), 5000u);
}

}  // namespace
