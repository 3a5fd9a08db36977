#include <gtest/gtest.h>

#include "CfbTestSupport.h"
#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/EntryName.h"
#include "cfb/Error.h"
#include "cfb/StreamReader.h"
#include "cfb/StreamWriter.h"
#include "cfb/SyncCountingEnv.h"
#include "cfb/TempFolder.h"
#include "platform/Env.h"
#include "support/PresentationBuilder.h"

namespace {

using cfb::CompoundFileReader;
using cfb::CompoundFileWriter;
using cfb::Version;
using cfbtest::pattern;
using cfbtest::readStream;
using cfbtest::writeStream;

const std::size_t kSizes[] = {0, 1, 63, 64, 4095, 4096, 4097, 1 << 20};

class RoundTripTest : public ::testing::TestWithParam<Version> {
protected:
    std::unique_ptr<CompoundFileWriter> create() {
        return CompoundFileWriter::create(Env::Default(), path_, GetParam());
    }
    std::unique_ptr<CompoundFileReader> open() {
        return CompoundFileReader::open(Env::Default(), path_);
    }

    TempFolder folder_;
    std::filesystem::path path_ = folder_.file("out.cfb");
};

TEST_P(RoundTripTest, StreamsOfEverySizeAroundTheLimitsReadBackIdentically) {
    {
        auto writer = create();
        std::uint32_t seed = 0;
        for (std::size_t size : kSizes) {
            // Pieces of 1000 bytes cross the cutoff inside a write; one piece jumps over it.
            writeStream(*writer, CompoundFileWriter::kRoot,
                        u"piece" + cfb::EntryName::fromUtf8(std::to_string(size)),
                        pattern(size, ++seed), 1000);
            writeStream(*writer, CompoundFileWriter::kRoot,
                        u"whole" + cfb::EntryName::fromUtf8(std::to_string(size)),
                        pattern(size, ++seed), size + 1);
        }
        writer->commit();
    }
    auto reader = open();
    EXPECT_EQ(reader->version(), GetParam());
    std::uint32_t seed = 0;
    for (std::size_t size : kSizes) {
        EXPECT_EQ(readStream(*reader, u"piece" + cfb::EntryName::fromUtf8(std::to_string(size))),
                  pattern(size, ++seed));
        EXPECT_EQ(readStream(*reader, u"whole" + cfb::EntryName::fromUtf8(std::to_string(size))),
                  pattern(size, ++seed));
    }
}

TEST_P(RoundTripTest, NestedStoragesKeepTheirTreeAndAttributes) {
    const cfb::DirectoryEntry::Clsid clsid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    {
        auto writer = create();
        const std::uint32_t outer = writer->createStorage(CompoundFileWriter::kRoot, u"Outer");
        const std::uint32_t inner = writer->createStorage(outer, u"Inner");
        writer->setClsid(inner, clsid);
        writer->setStateBits(inner, 0x12345678);
        writer->setClsid(CompoundFileWriter::kRoot, clsid);
        writeStream(*writer, inner, u"Deep", pattern(5000, 1));
        writeStream(*writer, outer, u"Shallow", pattern(10, 2));
        writer->commit();
    }
    auto reader = open();
    EXPECT_EQ(reader->entry(CompoundFileReader::kRoot).clsid, clsid);
    const auto outer = reader->find(CompoundFileReader::kRoot, u"OUTER");
    ASSERT_TRUE(outer);
    EXPECT_EQ(reader->entry(*outer).type, cfb::EntryType::Storage);
    const auto inner = reader->find(*outer, u"inner");
    ASSERT_TRUE(inner);
    EXPECT_EQ(reader->entry(*inner).clsid, clsid);
    EXPECT_EQ(reader->entry(*inner).stateBits, 0x12345678u);
    EXPECT_EQ(readStream(*reader, *reader->find(*inner, u"Deep")), pattern(5000, 1));
    EXPECT_EQ(readStream(*reader, *reader->find(*outer, u"Shallow")), pattern(10, 2));
    EXPECT_FALSE(reader->find(CompoundFileReader::kRoot, u"Deep"));
}

TEST_P(RoundTripTest, InterleavedWritesToTwoStreamsKeepEachStreamApart) {
    const auto a = pattern(300000, 1);
    const auto b = pattern(200000, 2);
    const auto c = pattern(3000, 3);
    {
        auto writer = create();
        auto first = writer->createStream(CompoundFileWriter::kRoot, u"A");
        auto second = writer->createStream(CompoundFileWriter::kRoot, u"B");
        auto small = writer->createStream(CompoundFileWriter::kRoot, u"C");
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

TEST_P(RoundTripTest, CreatingAStreamAgainReplacesItWhateverItsSize) {
    {
        auto writer = create();
        writeStream(*writer, CompoundFileWriter::kRoot, u"Small", pattern(100, 1));
        writeStream(*writer, CompoundFileWriter::kRoot, u"Large", pattern(100000, 2));
        writeStream(*writer, CompoundFileWriter::kRoot, u"SMALL", pattern(50000, 3));
        writeStream(*writer, CompoundFileWriter::kRoot, u"Large", pattern(10, 4));
        writer->commit();
    }
    auto reader = open();
    ASSERT_EQ(reader->children(CompoundFileReader::kRoot).size(), 2u);
    EXPECT_EQ(readStream(*reader, u"Small"), pattern(50000, 3));
    EXPECT_EQ(reader->entry(*reader->find(CompoundFileReader::kRoot, u"small")).name, u"SMALL");
    EXPECT_EQ(readStream(*reader, u"Large"), pattern(10, 4));
}

TEST_P(RoundTripTest, AStreamOpenForWritingCannotBeReplaced) {
    auto writer = create();
    auto open = writer->createStream(CompoundFileWriter::kRoot, u"Busy");
    try {
        writer->createStream(CompoundFileWriter::kRoot, u"busy");
        FAIL() << "replaced an open stream";
    } catch (const cfb::Error& error) {
        EXPECT_EQ(error.kind(), cfb::ErrorKind::AccessDenied);
    }
}

TEST_P(RoundTripTest, ManyStreamsAndAnEmptyFile) {
    {
        auto writer = create();
        writer->commit();
    }
    EXPECT_TRUE(open()->children(CompoundFileReader::kRoot).empty());
    {
        auto writer = create();
        for (std::uint32_t i = 0; i < 1500; ++i) {
            writeStream(*writer, CompoundFileWriter::kRoot,
                        cfb::EntryName::fromUtf8("s" + std::to_string(i)),
                        pattern(i * 7 % 5000, i));
        }
        writer->commit();
    }
    auto reader = open();
    ASSERT_EQ(reader->children(CompoundFileReader::kRoot).size(), 1500u);
    for (std::uint32_t i = 0; i < 1500; i += 37) {
        EXPECT_EQ(readStream(*reader, cfb::EntryName::fromUtf8("s" + std::to_string(i))),
                  pattern(i * 7 % 5000, i));
    }
}

TEST_P(RoundTripTest, CopiesKeepDataTreeAndAttributes) {
    const cfb::DirectoryEntry::Clsid clsid{9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
    const std::filesystem::path copyPath = folder_.file("copy.cfb");
    {
        auto writer = create();
        const std::uint32_t storage = writer->createStorage(CompoundFileWriter::kRoot, u"Objects");
        writer->setClsid(storage, clsid);
        writer->setStateBits(storage, 7);
        writer->setClsid(CompoundFileWriter::kRoot, clsid);
        writer->setStateBits(CompoundFileWriter::kRoot, 3);
        writeStream(*writer, storage, u"Big", pattern(70000, 1));
        writeStream(*writer, storage, u"Tiny", pattern(70, 2));
        writeStream(*writer, writer->createStorage(storage, u"Empty storage"), u"Empty", {});
        writeStream(*writer, CompoundFileWriter::kRoot, u"Top", pattern(4096, 3));
        writer->commit();
    }
    auto source = open();
    {
        auto writer = CompoundFileWriter::create(Env::Default(), copyPath, Version::V3);
        for (std::uint32_t id : source->children(CompoundFileReader::kRoot)) {
            writer->copyElement(*source, id, CompoundFileWriter::kRoot);
        }
        writer->copyRootAttributes(*source);
        writer->commit();
    }
    auto copy = CompoundFileReader::open(Env::Default(), copyPath);
    EXPECT_EQ(cfbtest::listing(*copy), cfbtest::listing(*source));
    EXPECT_EQ(copy->entry(0).stateBits, 3u);
    const std::uint32_t objects = *copy->find(CompoundFileReader::kRoot, u"Objects");
    EXPECT_EQ(copy->entry(objects).stateBits, 7u);
    EXPECT_EQ(copy->entry(objects).clsid, clsid);
    EXPECT_EQ(readStream(*copy, *copy->find(objects, u"Big")), pattern(70000, 1));
}

TEST_P(RoundTripTest, CopyingOntoATakenNameFailsAndLeavesTheOutputValid) {
    {
        auto writer = create();
        writeStream(*writer, CompoundFileWriter::kRoot, u"Taken", pattern(9000, 1));
        writer->commit();
    }
    auto source = open();
    const std::filesystem::path copyPath = folder_.file("copy.cfb");
    {
        auto writer = CompoundFileWriter::create(Env::Default(), copyPath, GetParam());
        writeStream(*writer, CompoundFileWriter::kRoot, u"TAKEN", pattern(10, 2));
        try {
            writer->copyElement(*source, source->children(0).front(), CompoundFileWriter::kRoot);
            FAIL() << "copied onto a taken name";
        } catch (const cfb::Error& error) {
            EXPECT_EQ(error.kind(), cfb::ErrorKind::AlreadyExists);
        }
        writer->commit();
    }
    auto copy = CompoundFileReader::open(Env::Default(), copyPath);
    EXPECT_EQ(readStream(*copy, u"Taken"), pattern(10, 2));
}

TEST_P(RoundTripTest, ReadsSeekAnywhereAndStopAtTheEnd) {
    const auto data = pattern(20000, 5);
    {
        auto writer = create();
        writeStream(*writer, CompoundFileWriter::kRoot, u"S", data, 3000);
        writeStream(*writer, CompoundFileWriter::kRoot, u"s2", pattern(1000, 6));
        writer->commit();
    }
    auto reader = open();
    auto stream = reader->openStream(*reader->find(0, u"S"));
    std::uint8_t header[8];
    // Many small reads, as record headers are read.
    for (std::uint64_t at = 0; at + 8 <= data.size(); at += 811) {
        stream->seek(at);
        ASSERT_EQ(stream->read(header, 8), 8u);
        ASSERT_TRUE(std::equal(header, header + 8, data.begin() + static_cast<std::ptrdiff_t>(at)));
    }
    stream->seek(data.size() - 4);
    EXPECT_EQ(stream->read(header, 8), 4u);
    EXPECT_EQ(stream->read(header, 8), 0u);
    stream->seek(data.size() + 100);
    EXPECT_EQ(stream->read(header, 8), 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, RoundTripTest, ::testing::Values(Version::V3, Version::V4),
                         [](const ::testing::TestParamInfo<Version>& info) {
                             return info.param == Version::V3 ? "V3" : "V4";
                         });

TEST(WriterStateTest, WritingAfterCommitThrowsAndHandlesOutliveTheWriter) {
    TempFolder folder;
    auto writer = CompoundFileWriter::create(Env::Default(), folder.file("a.cfb"));
    auto stream = writer->createStream(CompoundFileWriter::kRoot, u"S");
    const std::uint8_t byte = 1;
    stream->write(&byte, 1);
    writer->commit();
    EXPECT_THROW(stream->write(&byte, 1), cfb::Error);
    EXPECT_THROW(writer->createStream(CompoundFileWriter::kRoot, u"T"), cfb::Error);
    writer->commit();  // a second commit does nothing

    auto other = CompoundFileWriter::create(Env::Default(), folder.file("b.cfb"));
    auto orphan = other->createStream(CompoundFileWriter::kRoot, u"S");
    other.reset();
    EXPECT_THROW(orphan->write(&byte, 1), cfb::Error);
    orphan.reset();  // must not touch the writer that is gone
}

TEST(WriterStateTest, NamesTheFormatForbidsAreRefused) {
    TempFolder folder;
    auto writer = CompoundFileWriter::create(Env::Default(), folder.file("a.cfb"));
    for (const std::u16string& name :
         {std::u16string(u""), std::u16string(32, u'x'), std::u16string(u"a/b"),
          std::u16string(u"a\\b"), std::u16string(u"a:b"), std::u16string(u"a!b")}) {
        try {
            writer->createStream(CompoundFileWriter::kRoot, name);
            FAIL() << "accepted a bad name";
        } catch (const cfb::Error& error) {
            EXPECT_EQ(error.kind(), cfb::ErrorKind::InvalidName);
        }
    }
    EXPECT_NO_THROW(writer->createStream(CompoundFileWriter::kRoot, std::u16string(31, u'x')));
}

}  // namespace

// Temporary outputs skip the flush to disk; everything else about the file stays the same.
TEST(CommitFlushTest, FlushesToDiskUnlessToldToSkipWithIdenticalBytes) {
    TempFolder folder;
    std::vector<std::uint8_t> bytes[2];
    const CompoundFileWriter::Flush modes[] = {CompoundFileWriter::Flush::ToDisk,
                                               CompoundFileWriter::Flush::Skip};
    for (int i = 0; i < 2; ++i) {
        SyncCountingEnv env;
        const std::filesystem::path path = folder.file("flush" + std::to_string(i) + ".cfb");
        auto writer = CompoundFileWriter::create(env, path);
        writeStream(*writer, CompoundFileWriter::kRoot, u"big", pattern(100000, 1), 3000);
        writeStream(*writer, CompoundFileWriter::kRoot, u"small", pattern(100, 2), 100);
        writer->commit(modes[i]);
        EXPECT_EQ(env.syncs, i == 0 ? 1 : 0);
        bytes[i] = fixtures::readFile(path);
        auto reader = CompoundFileReader::open(Env::Default(), path);
        EXPECT_EQ(readStream(*reader, u"big"), pattern(100000, 1));
    }
    EXPECT_EQ(bytes[0], bytes[1]);
}
