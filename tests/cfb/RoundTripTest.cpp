#include <gtest/gtest.h>

#include <tuple>

#include "CfbTestSupport.h"
#include "ScratchFolder.h"
#include "cfb/Header.h"
#include "support/PresentationBuilder.h"

namespace {

using cfb::CompoundFileReader;
using cfb::CompoundFileWriter;
using cfb::ErrorKind;
using cfb::Version;
using cfbtest::errorKindOf;
using cfbtest::numbered;
using cfbtest::pattern;
using cfbtest::readStream;
using cfbtest::writeStream;
constexpr std::uint32_t kRoot = CompoundFileWriter::kRoot;

class RoundTripTest : public ::testing::TestWithParam<Version> {
protected:
    std::unique_ptr<CompoundFileWriter> create() { return recording_.create(path_, GetParam()); }
    std::unique_ptr<CompoundFileReader> open() {
        return CompoundFileReader::open(Env::Default(), path_);
    }

    RecordingWriter recording_;
    ScratchFolder folder_;
    std::filesystem::path path_ = folder_ / "out.cfb";
    std::filesystem::path copyPath_ = folder_ / "copy.cfb";
};

// Nested storages with class ids and state bits read back as written, and so does a copy of
// every element into a version 3 file. Three streams written in turns, in pieces of changing
// size, and left open for the commit to close, stay apart.
TEST_P(RoundTripTest, StoragesKeepTheirTreeAndAttributesThroughACopy) {
    const cfb::DirectoryEntry::Clsid clsid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const std::vector<std::uint8_t> data[] = {pattern(300000, 1), pattern(200000, 2),
                                              pattern(3000, 4)};
    {
        auto writer = create();
        const std::uint32_t outer = writer->createStorage(kRoot, u"Outer");
        const std::uint32_t inner = writer->createStorage(outer, u"Inner");
        writer->setClsid(inner, clsid);
        writer->setStateBits(inner, 0x12345678);
        writer->setClsid(kRoot, clsid);
        writer->setStateBits(kRoot, 3);
        std::unique_ptr<cfb::StreamWriter> streams[] = {writer->createStream(inner, u"Deep"),
                                                        writer->createStream(kRoot, u"Top"),
                                                        writer->createStream(inner, u"Tiny")};
        for (std::size_t at = 0, step = 1; at < data[0].size(); at += step) {
            step = std::min(step * 3 % 9001 + 1, data[0].size() - at);
            for (int i = 0; i < 3; ++i) {
                if (at < data[i].size()) {
                    streams[i]->write(data[i].data() + at, std::min(step, data[i].size() - at));
                }
            }
        }
        writeStream(*writer, outer, u"Shallow", pattern(10, 3));
        writeStream(*writer, writer->createStorage(outer, u"Empty storage"), u"Empty", {});
        writer->commit();
    }
    auto source = open();
    cfbtest::copyWhole(*source, *CompoundFileWriter::create(Env::Default(), copyPath_));
    auto copy = CompoundFileReader::open(Env::Default(), copyPath_);
    EXPECT_EQ(cfbtest::listing(*copy), cfbtest::listing(*source));
    for (const CompoundFileReader* reader : {source.get(), copy.get()}) {
        EXPECT_EQ(reader->entry(kRoot).clsid, clsid);
        EXPECT_EQ(reader->entry(kRoot).stateBits, 3u);
        const auto outer = reader->find(kRoot, u"OUTER");
        ASSERT_TRUE(outer);
        EXPECT_EQ(reader->entry(*outer).type, cfb::EntryType::Storage);
        const auto inner = reader->find(*outer, u"inner");
        ASSERT_TRUE(inner);
        EXPECT_EQ(reader->entry(*inner).clsid, clsid);
        EXPECT_EQ(reader->entry(*inner).stateBits, 0x12345678u);
        EXPECT_EQ(readStream(*reader, *reader->find(*inner, u"Deep")), data[0]);
        EXPECT_EQ(readStream(*reader, u"Top"), data[1]);
        EXPECT_EQ(readStream(*reader, *reader->find(*inner, u"Tiny")), data[2]);
        EXPECT_EQ(readStream(*reader, *reader->find(*outer, u"Shallow")), pattern(10, 3));
        EXPECT_FALSE(reader->find(kRoot, u"Deep"));
    }
}

TEST_P(RoundTripTest, CreatingAStreamAgainReplacesItUnlessItIsStillOpen) {
    {
        auto writer = create();
        writeStream(*writer, kRoot, u"Small", pattern(100, 1));
        writeStream(*writer, kRoot, u"Large", pattern(100000, 2));
        writeStream(*writer, kRoot, u"SMALL", pattern(50000, 3));
        writeStream(*writer, kRoot, u"Large", pattern(10, 4));
        auto busy = writer->createStream(kRoot, u"Busy");
        EXPECT_EQ(errorKindOf([&] { writer->createStream(kRoot, u"busy"); }),
                  ErrorKind::AccessDenied);
        writer->commit();
    }
    auto reader = open();
    ASSERT_EQ(reader->children(kRoot).size(), 3u);
    EXPECT_EQ(readStream(*reader, u"Small"), pattern(50000, 3));
    EXPECT_EQ(reader->entry(*reader->find(kRoot, u"small")).name, u"SMALL");
    EXPECT_EQ(readStream(*reader, u"Large"), pattern(10, 4));
}

// Temporary outputs skip the flush to disk; everything else about the file stays the same.
TEST_P(RoundTripTest, ManyStreamsAndAnEmptyFileFlushedToDiskOrNot) {
    std::vector<std::uint8_t> empty[2];
    for (const auto flush : {CompoundFileWriter::Flush::ToDisk, CompoundFileWriter::Flush::Skip}) {
        const int syncs = recording_.syncs;
        create()->commit(flush);
        const bool skipped = flush == CompoundFileWriter::Flush::Skip;
        EXPECT_EQ(recording_.syncs - syncs, skipped ? 0 : 1);
        empty[skipped] = fixtures::readFile(path_);
    }
    EXPECT_EQ(empty[0], empty[1]);
    EXPECT_TRUE(open()->children(kRoot).empty());
    {
        auto writer = create();
        for (std::uint32_t i = 0; i < 1500; ++i) {
            writeStream(*writer, kRoot, numbered("s", i), pattern(i * 7 % 5000, i));
        }
        writer->commit();
    }
    auto reader = open();
    ASSERT_EQ(reader->children(kRoot).size(), 1500u);
    for (std::uint32_t i = 0; i < 1500; i += 37) {
        EXPECT_EQ(readStream(*reader, numbered("s", i)), pattern(i * 7 % 5000, i));
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, RoundTripTest, ::testing::Values(Version::V3, Version::V4),
                         [](const ::testing::TestParamInfo<Version>& info) {
                             return info.param == Version::V3 ? "V3" : "V4";
                         });

// Forbidden names are refused; nothing is written after the commit, and stream handles outlive
// their writer.
TEST(WriterStateTest, ForbiddenNamesAndWritesAfterTheCommitThrow) {
    ScratchFolder folder;
    auto writer = CompoundFileWriter::create(Env::Default(), folder / "a.cfb");
    for (const std::u16string& name :
         {std::u16string(u""), std::u16string(32, u'x'), std::u16string(u"a/b"),
          std::u16string(u"a\\b"), std::u16string(u"a:b"), std::u16string(u"a!b")}) {
        EXPECT_EQ(errorKindOf([&] { writer->createStream(kRoot, name); }), ErrorKind::InvalidName);
    }
    auto stream = writer->createStream(kRoot, std::u16string(31, u'x'));
    const std::uint8_t byte = 1;
    stream->write(&byte, 1);
    writer->commit();
    EXPECT_THROW(stream->write(&byte, 1), cfb::Error);
    EXPECT_THROW(writer->createStream(kRoot, u"T"), cfb::Error);
    writer->commit();  // a second commit does nothing

    auto other = CompoundFileWriter::create(Env::Default(), folder / "b.cfb");
    auto orphan = other->createStream(kRoot, u"S");
    other.reset();
    EXPECT_THROW(orphan->write(&byte, 1), cfb::Error);
    orphan.reset();  // must not touch the writer that is gone
}

// Large streams copied from another compound file land at offsets congruent to their source
// offsets modulo the output's block size, after free sectors, and move as whole blocks.
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
    const cfb::Header header = cfb::Header::parse(bytes.data());
    std::vector<std::uint32_t> fat;
    for (std::uint32_t i = 0; i < std::min(header.fatSectorCount, cfb::kHeaderDifatCount); ++i) {
        for (std::uint32_t e = 0; e < header.sectorSize(); e += 4) {
            fat.push_back(LittleEndian::readU32(&bytes[header.sectorOffset(header.difat[i]) + e]));
        }
    }
    fat.resize(std::min<std::size_t>(fat.size(), bytes.size() / header.sectorSize() - 1));
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
        writeStream(*writer, kRoot, u"Lead", pattern(9000, 1));
        for (int i = 0; i < kBigStreams; ++i) {
            writeStream(*writer, kRoot, numbered("Big", i), pattern(kBigSize, 10 + i), 65536);
        }
        writeStream(*writer, kRoot, u"Small", pattern(kSmallSize, 2));
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
        writeStream(*writer, kRoot, u"New", pattern(std::get<2>(GetParam()), 3));
        for (std::uint32_t id : source->children(kRoot)) {
            if (source->entry(id).name != u"Lead") {
                writer->copyElement(*source, id, kRoot);
            }
        }
        writer->commit();
    }
    auto copy = CompoundFileReader::open(Env::Default(), path_);
    EXPECT_EQ(readStream(*copy, u"New"), pattern(std::get<2>(GetParam()), 3));
    EXPECT_EQ(readStream(*copy, u"Small"), pattern(kSmallSize, 2));
    for (int i = 0; i < kBigStreams; ++i) {
        const std::u16string name = numbered("Big", i);
        EXPECT_EQ(readStream(*copy, name), pattern(kBigSize, 10 + i));
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
