#include <gtest/gtest.h>

#include "pptformat/PersistDirectory.h"
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
}

TEST(PersistDirectoryTest, RunsNeedNotStartAtOneAndFollowLaterAdditions) {
    PersistDirectory directory = directoryOf({3, 2});
    EXPECT_EQ(directory.countRuns(), 1);
    EXPECT_EQ(directory.runHeader(1), 0x00200002u);
    directory.add(5, 0);
    EXPECT_EQ(directory.countRuns(), 2);
}

TEST(PersistDirectoryTest, FirstOffsetOfAnIdWinsAndIdsOutsideTheNumberingAreIgnored) {
    PersistDirectory directory;
    directory.add(5, 500);
    directory.add(5, 999);
    directory.add(0, 42);
    directory.add(0xFFFFF, 7);
    directory.add(0x100000, 8);
    directory.add(3, 300);
    EXPECT_EQ(directory.entryCount(), 3u);
    EXPECT_EQ(directory.find(5)->offset, 500u);
    EXPECT_EQ(directory.find(3)->offset, 300u);
    EXPECT_EQ(directory.find(0xFFFFF)->offset, 7u);
    EXPECT_EQ(directory.find(0), nullptr);
    EXPECT_EQ(directory.find(6), nullptr);
    EXPECT_EQ(directory.find(0x100000), nullptr);
    EXPECT_EQ(directory.find(UINT32_MAX), nullptr);
    EXPECT_EQ(directory.find(5)->recordIndex, -1);
}

TEST(PersistDirectoryTest, LongRunsAreSplitAt4095Ids) {
    std::vector<std::uint32_t> ids;
    for (std::uint32_t id = 1; id <= 5000; ++id) {
        ids.push_back(id);
    }
    PersistDirectory directory = directoryOf(ids);
    ASSERT_EQ(directory.countRuns(), 2);
    EXPECT_EQ(directory.runHeader(1), 1u | (4095u << 20));
    EXPECT_EQ(directory.runHeader(2), 4096u | (905u << 20));
    MemoryOutputStream out;
    directory.write(out);
    Bytes expected = header(0x1772, 4 * (2 + 5000));
    for (std::uint32_t id = 1; id <= 5000; ++id) {
        if (id == 1 || id == 4096) {
            expected = concat({expected, u32(directory.runHeader(id == 1 ? 1 : 2))});
        }
        expected = concat({expected, u32((id - 1) * 8)});
    }
    EXPECT_EQ(out.data, expected);
    EXPECT_EQ(directory.maxPersistId(), 5000u);
}

}  // namespace
