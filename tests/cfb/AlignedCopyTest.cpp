#include <gtest/gtest.h>

#include <tuple>

#include "CfbTestSupport.h"
#include "ScratchFolder.h"
#include "cfb/RecordingWriter.h"
#include "streams/LittleEndian.h"
#include "support/PresentationBuilder.h"

// Large streams copied from another compound file land at offsets congruent to their source
// offsets modulo the output's block size, after free sectors, and move as whole blocks.

namespace {

using cfb::CompoundFileReader;
using cfb::CompoundFileWriter;
using cfb::Version;
using cfbtest::numbered;
using cfbtest::pattern;
constexpr std::uint32_t kRoot = CompoundFileWriter::kRoot;

constexpr int kBigStreams = 9;  // 9 MiB: a version 3 file needs more FAT sectors than 109
constexpr std::size_t kBigSize = (1 << 20) + 300;
constexpr std::size_t kSmallSize = 20000;  // under 16 blocks: copied where it falls

std::uint64_t startOffset(const CompoundFileReader& file, std::uint32_t id) {
    const std::uint32_t shift = file.version() == Version::V3 ? 9 : 12;
    return (std::uint64_t{file.entry(id).startSector} + 1) << shift;
}

// The entries of the FAT sectors the header lists (the first 109), up to the file's end.
std::vector<std::uint32_t> headerFat(const std::filesystem::path& path) {
    const fixtures::Bytes bytes = fixtures::readFile(path);
    const std::uint32_t shift = LittleEndian::readU16(&bytes[30]);
    const std::uint64_t sectors = (bytes.size() >> shift) - 1;
    std::vector<std::uint32_t> fat;
    for (std::uint32_t i = 0; i < std::min(LittleEndian::readU32(&bytes[44]), 109u); ++i) {
        const std::uint64_t at = (std::uint64_t{LittleEndian::readU32(&bytes[76 + 4 * i])} + 1)
                                 << shift;
        for (std::uint64_t e = 0; e < (1u << shift) && fat.size() < sectors; e += 4) {
            fat.push_back(LittleEndian::readU32(&bytes[at + e]));
        }
    }
    return fat;
}

// version, block size the output reports, bytes written to the output before the copies
using Layout = std::tuple<Version, std::uint32_t, std::size_t>;

class AlignedCopyTest : public ::testing::TestWithParam<Layout> {
protected:
    Version version() const { return std::get<0>(GetParam()); }
    std::uint32_t blockSize() const { return std::get<1>(GetParam()); }

    void SetUp() override {
        auto writer = CompoundFileWriter::create(Env::Default(), sourcePath_, version());
        cfbtest::writeStream(*writer, kRoot, u"Lead", pattern(9000, 1));
        for (int i = 0; i < kBigStreams; ++i) {
            cfbtest::writeStream(*writer, kRoot, numbered("Big", i), pattern(kBigSize, 10 + i),
                                 65536);
        }
        cfbtest::writeStream(*writer, kRoot, u"Small", pattern(kSmallSize, 2));
        writer->commit();
    }

    ScratchFolder folder_;
    std::filesystem::path sourcePath_ = folder_ / "source.cfb";
    std::filesystem::path path_ = folder_ / "copy.cfb";
};

TEST_P(AlignedCopyTest, LargeRunsFollowFreeSectorsThatAlignThemWithTheirSource) {
    auto source = CompoundFileReader::open(Env::Default(), sourcePath_);
    RecordingWriter recording;
    recording.blockSize = blockSize();
    {
        auto writer = recording.create(path_, version());
        cfbtest::writeStream(*writer, kRoot, u"New", pattern(std::get<2>(GetParam()), 3));
        for (std::uint32_t id : source->children(kRoot)) {
            if (source->entry(id).name != u"Lead") {
                writer->copyElement(*source, id, kRoot);
            }
        }
        writer->commit();
    }
    auto copy = CompoundFileReader::open(Env::Default(), path_);
    EXPECT_EQ(cfbtest::readStream(*copy, u"New"), pattern(std::get<2>(GetParam()), 3));
    EXPECT_EQ(cfbtest::readStream(*copy, u"Small"), pattern(kSmallSize, 2));
    for (int i = 0; i < kBigStreams; ++i) {
        const std::u16string name = numbered("Big", i);
        EXPECT_EQ(cfbtest::readStream(*copy, name), pattern(kBigSize, 10 + i));
        EXPECT_EQ(startOffset(*copy, *copy->find(kRoot, name)) % blockSize(),
                  startOffset(*source, *source->find(kRoot, name)) % blockSize())
            << i;
    }

    // Whole blocks on both sides for all but the first and last block of each big stream.
    std::uint64_t inBlocks = 0;
    for (const RecordingWriter::Copy& c : recording.copies) {
        if ((c.from | c.to | c.count) % blockSize() == 0) {
            inBlocks += c.count;
        }
    }
    EXPECT_GE(inBlocks, kBigStreams * (kBigSize - 2 * blockSize()));

    // Free sectors fill the gap between the stream written first and the first big stream, less
    // than a block, and are the only ones.
    const std::uint32_t sectorSize = version() == Version::V3 ? 512 : 4096;
    const auto gapStart =
        static_cast<std::uint32_t>((std::get<2>(GetParam()) + sectorSize - 1) / sectorSize);
    const std::uint32_t firstBig = copy->entry(*copy->find(kRoot, numbered("Big", 0))).startSector;
    EXPECT_LT(firstBig - gapStart, blockSize() / sectorSize);
    const std::vector<std::uint32_t> fat = headerFat(path_);
    for (std::uint32_t sector = 0; sector < fat.size(); ++sector) {
        EXPECT_EQ(fat[sector] == cfb::kFreeSector, sector >= gapStart && sector < firstBig)
            << sector;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, AlignedCopyTest,
                         ::testing::Values(Layout{Version::V3, 4096, 6000},
                                           Layout{Version::V3, 65536, 70000},
                                           Layout{Version::V4, 4096, 5000},
                                           Layout{Version::V4, 65536, 5000}));

}  // namespace
