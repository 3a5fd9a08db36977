#include <gtest/gtest.h>

#include "CfbTestSupport.h"
#include "ScratchFolder.h"
#include "support/Corpus.h"
#include "support/RunProgram.h"

// What we write must read back identically in readers that share no code with ours: python's
// olefile and libgsf's gsf tool. And what we read must agree with olefile on real files.

namespace {

namespace fs = std::filesystem;
using cfb::CompoundFileReader;
using cfb::CompoundFileWriter;
using cfbtest::pattern;

// olefile's listing of a file, in the format of cfbtest::listing().
fixtures::RunOutput olefileListing(const fs::path& path) {
    return fixtures::Run("/usr/bin/python3",
                         {std::string(CFB_TEST_SOURCE_DIR) + "/olefile_list.py", path.string()});
}

bool haveOlefile() {
    return fixtures::Run("/usr/bin/python3", {"-c", "import olefile"}).exitCode == 0;
}

const std::size_t kSizes[] = {0, 1, 64, 4095, 4096, 4097, 1 << 20};

// A file with a bit of everything: every size class, nested storages with CLSIDs, names with
// control characters and non-ASCII letters, many entries so the directory spans sectors.
void writeSample(const fs::path& path, cfb::Version version) {
    auto writer = CompoundFileWriter::create(Env::Default(), path, version);
    const cfb::DirectoryEntry::Clsid clsid{0x10, 0x8D, 0x81, 0x64, 0x9B, 0x4F, 0xCF, 0x11,
                                           0x86, 0xEA, 0x00, 0xAA, 0x00, 0xB9, 0x29, 0xE8};
    writer->setClsid(CompoundFileWriter::kRoot, clsid);
    std::uint32_t seed = 0;
    for (std::size_t size : kSizes) {
        cfbtest::writeStream(*writer, 0, cfbtest::numbered("Size ", size), pattern(size, ++seed));
    }
    cfbtest::writeStream(*writer, 0, u"\u0005SummaryInformation", pattern(300, ++seed));
    cfbtest::writeStream(*writer, 0, u"\u00c9t\u00e9 \u4e2d", pattern(5000, ++seed));
    const std::uint32_t pool = writer->createStorage(0, u"ObjectPool");
    writer->setClsid(pool, clsid);
    for (int i = 0; i < 40; ++i) {
        const std::uint32_t object = writer->createStorage(pool, cfbtest::numbered("_", 1000 + i));
        cfbtest::writeStream(*writer, object, u"\u0001Ole", pattern(20, ++seed));
        cfbtest::writeStream(*writer, object, u"Contents", pattern(i * 300, ++seed));
    }
    writer->commit();
}

class IndependentReaderTest : public ::testing::TestWithParam<cfb::Version> {
protected:
    void SetUp() override { writeSample(path_, GetParam()); }

    ScratchFolder folder_;
    fs::path path_ = folder_ / "sample.cfb";
};

TEST_P(IndependentReaderTest, GsfListsAndCatsWhatWeWrote) {
    if (!fs::exists("/usr/bin/gsf")) {
        GTEST_SKIP() << "libgsf-bin is not installed";
    }
    const fixtures::RunOutput list = fixtures::Run("/usr/bin/gsf", {"list", path_.string()});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    std::uint32_t seed = 0;
    for (std::size_t size : kSizes) {
        const std::string name = "Size " + std::to_string(size);
        EXPECT_NE(list.out.find(std::to_string(size) + " " + name + "\n"), std::string::npos)
            << list.out;
        const fixtures::RunOutput data =
            fixtures::Run("/usr/bin/gsf", {"cat", path_.string(), name});
        const auto expected = pattern(size, ++seed);
        EXPECT_EQ(data.out, std::string(expected.begin(), expected.end())) << name << data.err;
    }
    EXPECT_EQ(fixtures::Run("/usr/bin/gsf", {"cat", path_.string(), "ObjectPool/_1039/Contents"})
                  .out.size(),
              39u * 300);
}

// olefile lists what we wrote as we read it, and so it lists a copy in which large streams
// follow free sectors that align them with their source (64 KiB blocks make the gaps as wide as
// they get).
TEST_P(IndependentReaderTest, OlefileListsWhatWeWroteAndACopyWithFreeSectors) {
    if (!haveOlefile()) {
        GTEST_SKIP() << "python3-olefile is not installed";
    }
    const fixtures::RunOutput original = olefileListing(path_);
    ASSERT_EQ(original.exitCode, 0) << original.err;
    EXPECT_EQ(original.out, cfbtest::listing(*CompoundFileReader::open(Env::Default(), path_)));
    EXPECT_NE(original.out.find("storage ObjectPool/_1039 \n"), std::string::npos) << original.out;
    const auto copy = folder_ / "copy.cfb";
    RecordingWriter recording;
    recording.blockSize = 65536;
    {
        auto source = CompoundFileReader::open(Env::Default(), path_);
        auto writer = recording.create(copy, GetParam());
        cfbtest::writeStream(*writer, 0, u"Lead", pattern(5000, 99));
        cfbtest::copyWhole(*source, *writer);
    }
    std::string theirs = olefileListing(copy).out;
    const std::size_t lead = theirs.find("stream Lead 5000 ");
    ASSERT_NE(lead, std::string::npos) << theirs;
    theirs.erase(lead, theirs.find('\n', lead) + 1 - lead);
    EXPECT_EQ(theirs, original.out);
}

INSTANTIATE_TEST_SUITE_P(Versions, IndependentReaderTest,
                         ::testing::Values(cfb::Version::V3, cfb::Version::V4),
                         [](const ::testing::TestParamInfo<cfb::Version>& info) {
                             return info.param == cfb::Version::V3 ? "V3" : "V4";
                         });

// The real compound files of the corpus: we list exactly what olefile lists, and a copy of
// every element reads back identically. The fuzzer-made files are damaged (a chain running out
// of the file, an odd name length); olefile reads past that and hands out short streams, we
// refuse them with the reason.
TEST(CorpusTest, RealFilesListAsOlefileListsThem) {
    const fs::path corpus = fixtures::corpusFolder();
    if (corpus.empty() || !haveOlefile()) {
        GTEST_SKIP() << "no corpus or no python3-olefile";
    }
    ScratchFolder folder;
    int compared = 0;
    for (const auto& item : fs::directory_iterator(corpus)) {
        const fs::path& path = item.path();
        if (path.extension() != ".ppt" && path.extension() != ".doc") {
            continue;
        }
        if (path.filename().string().rfind("clusterfuzz-", 0) == 0) {
            EXPECT_EQ(cfbtest::errorKindOf([&] { CompoundFileReader::open(Env::Default(), path); }),
                      cfb::ErrorKind::Corrupt)
                << path;
            continue;
        }
        const fixtures::RunOutput theirs = olefileListing(path);
        ASSERT_EQ(theirs.exitCode, 0) << path << ": olefile says " << theirs.err;
        std::unique_ptr<CompoundFileReader> reader;
        try {
            reader = CompoundFileReader::open(Env::Default(), path);
        } catch (const cfb::Error& error) {
            ADD_FAILURE() << path << ": olefile reads it, we say " << error.what();
            continue;
        }
        EXPECT_EQ(cfbtest::listing(*reader), theirs.out) << path;
        cfbtest::copyWhole(*reader,
                           *CompoundFileWriter::create(Env::Default(), folder / "copy.cfb"));
        EXPECT_EQ(olefileListing(folder / "copy.cfb").out, theirs.out) << path;
        ++compared;
    }
    EXPECT_GT(compared, 10);
}

}  // namespace
