#include <gtest/gtest.h>

#include "CfbTestSupport.h"
#include "ScratchFolder.h"
#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/Error.h"
#include "cfb/RecordingWriter.h"
#include "cfb/StreamReader.h"
#include "cfb/StreamWriter.h"
#include "platform/Env.h"
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
// every element into a version 3 file.
TEST_P(RoundTripTest, StoragesKeepTheirTreeAndAttributesThroughACopy) {
    const cfb::DirectoryEntry::Clsid clsid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    {
        auto writer = create();
        const std::uint32_t outer = writer->createStorage(kRoot, u"Outer");
        const std::uint32_t inner = writer->createStorage(outer, u"Inner");
        writer->setClsid(inner, clsid);
        writer->setStateBits(inner, 0x12345678);
        writer->setClsid(kRoot, clsid);
        writer->setStateBits(kRoot, 3);
        writeStream(*writer, inner, u"Deep", pattern(70000, 1));
        writeStream(*writer, inner, u"Tiny", pattern(70, 2));
        writeStream(*writer, outer, u"Shallow", pattern(10, 3));
        writeStream(*writer, writer->createStorage(outer, u"Empty storage"), u"Empty", {});
        writeStream(*writer, kRoot, u"Top", pattern(4096, 4));
        writer->commit();
    }
    auto source = open();
    cfbtest::copyWhole(*source, copyPath_);
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
        EXPECT_EQ(readStream(*reader, *reader->find(*inner, u"Deep")), pattern(70000, 1));
        EXPECT_EQ(readStream(*reader, *reader->find(*outer, u"Shallow")), pattern(10, 3));
        EXPECT_FALSE(reader->find(kRoot, u"Deep"));
    }
}

TEST_P(RoundTripTest, InterleavedWritesToTwoStreamsKeepEachStreamApart) {
    const auto a = pattern(300000, 1);
    const auto b = pattern(200000, 2);
    const auto c = pattern(3000, 3);
    {
        auto writer = create();
        auto first = writer->createStream(kRoot, u"A");
        auto second = writer->createStream(kRoot, u"B");
        auto small = writer->createStream(kRoot, u"C");
        std::size_t at = 0;
        for (std::size_t step = 1; at < a.size(); step = step * 3 % 9001 + 1) {
            const std::size_t n = std::min(step, a.size() - at);
            first->write(a.data() + at, n);
            if (at < b.size()) {
                second->write(b.data() + at, std::min(n, b.size() - at));
            }
            if (at < c.size()) {
                small->write(c.data() + at, std::min(n, c.size() - at));
            }
            at += n;
        }
        // Left open on purpose: the commit closes them.
        writer->commit();
    }
    auto reader = open();
    EXPECT_EQ(readStream(*reader, u"A"), a);
    EXPECT_EQ(readStream(*reader, u"B"), b);
    EXPECT_EQ(readStream(*reader, u"C"), c);
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

}  // namespace
