#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

#include "CfbTestSupport.h"
#include "ScratchFolder.h"
#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/Error.h"
#include "cfb/RecordingEnv.h"
#include "platform/Env.h"

// What we write must read back identically in readers that share no code with ours: python's
// olefile, libgsf's gsf tool, Apache POI and LibreOffice. And what we read must agree with
// olefile on real files.

namespace {

using cfb::CompoundFileReader;
using cfb::CompoundFileWriter;
using cfbtest::pattern;

// Runs a shell command and returns what it printed on standard output; `status` gets its exit
// status (-1 when it did not end normally).
std::string run(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return output;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    const int result = ::pclose(pipe);
    *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

bool succeeds(const std::string& command) {
    int status = 0;
    run(command + " >/dev/null 2>&1", &status);
    return status == 0;
}

std::string shellQuoted(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (char c : path.string()) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string olefileListing(const std::filesystem::path& path, int* status) {
    return run("/usr/bin/python3 " +
                   shellQuoted(std::string(CFB_TEST_SOURCE_DIR) + "/olefile_list.py") + " " +
                   shellQuoted(path) + " 2>&1",
               status);
}

const std::size_t kSizes[] = {0, 1, 64, 4095, 4096, 4097, 1 << 20};

// A file with a bit of everything: every size class, nested storages with CLSIDs, names with
// control characters and non-ASCII letters, many entries so the directory spans sectors.
void writeSample(const std::filesystem::path& path, cfb::Version version) {
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
    std::filesystem::path path_ = folder_ / "sample.cfb";
};

TEST_P(IndependentReaderTest, OlefileListsWhatWeWroteAndWeRead) {
    if (!succeeds("/usr/bin/python3 -c 'import olefile'")) {
        GTEST_SKIP() << "python3-olefile is not installed";
    }
    int status = 0;
    const std::string theirs = olefileListing(path_, &status);
    ASSERT_EQ(status, 0) << theirs;
    EXPECT_EQ(theirs, cfbtest::listing(*CompoundFileReader::open(Env::Default(), path_)));
    EXPECT_NE(theirs.find("storage ObjectPool/_1039 \n"), std::string::npos) << theirs;
}

TEST_P(IndependentReaderTest, GsfListsAndCatsWhatWeWrote) {
    if (!succeeds("command -v gsf")) {
        GTEST_SKIP() << "libgsf-bin is not installed";
    }
    int status = 0;
    const std::string list = run("gsf list " + shellQuoted(path_), &status);
    ASSERT_EQ(status, 0) << list;
    std::uint32_t seed = 0;
    for (std::size_t size : kSizes) {
        const std::string name = "Size " + std::to_string(size);
        EXPECT_NE(list.find(std::to_string(size) + " " + name + "\n"), std::string::npos) << list;
        const std::string data = run("gsf cat " + shellQuoted(path_) + " '" + name + "'", &status);
        ASSERT_EQ(status, 0) << name;
        const auto expected = pattern(size, ++seed);
        EXPECT_EQ(data, std::string(expected.begin(), expected.end())) << name;
    }
    const std::string nested =
        run("gsf cat " + shellQuoted(path_) + " ObjectPool/_1039/Contents", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(nested.size(), 39u * 300);
}

// Large streams copied from another file follow free sectors that align them with their source
// (64 KiB blocks make the gaps as wide as they get); olefile passes over them.
TEST_P(IndependentReaderTest, OlefileReadsACopyWithFreeSectorsBeforeItsLargeStreams) {
    if (!succeeds("/usr/bin/python3 -c 'import olefile'")) {
        GTEST_SKIP() << "python3-olefile is not installed";
    }
    const auto copy = folder_ / "copy.cfb";
    RecordingEnv env;
    env.blockSize = 65536;
    {
        auto source = CompoundFileReader::open(Env::Default(), path_);
        auto writer = CompoundFileWriter::create(env, copy, GetParam());
        cfbtest::writeStream(*writer, 0, u"Lead", pattern(5000, 99));
        for (std::uint32_t id : source->children(CompoundFileReader::kRoot)) {
            writer->copyElement(*source, id, CompoundFileWriter::kRoot);
        }
        writer->copyRootAttributes(*source);
        writer->commit();
    }
    int status = 0;
    std::string theirs = olefileListing(copy, &status);
    ASSERT_EQ(status, 0) << theirs;
    const std::string lead = "stream Lead 5000 ";
    ASSERT_NE(theirs.find(lead), std::string::npos) << theirs;
    theirs.erase(theirs.find(lead), theirs.find('\n', theirs.find(lead)) + 1 - theirs.find(lead));
    EXPECT_EQ(theirs, olefileListing(path_, &status));
}

INSTANTIATE_TEST_SUITE_P(Versions, IndependentReaderTest,
                         ::testing::Values(cfb::Version::V3, cfb::Version::V4),
                         [](const ::testing::TestParamInfo<cfb::Version>& info) {
                             return info.param == cfb::Version::V3 ? "V3" : "V4";
                         });

std::filesystem::path corpusFolder() {
    const char* corpus = std::getenv("PATCH_CORPUS");
    return corpus != nullptr && std::filesystem::is_directory(corpus) ? corpus : "";
}

// The real compound files of the corpus: we list exactly what olefile lists, and a copy of
// every element reads back identically. The fuzzer-made files are damaged (a chain running out
// of the file, an odd name length); olefile reads past that and hands out short streams, we
// refuse them with the reason.
TEST(CorpusTest, RealFilesListAsOlefileListsThem) {
    if (corpusFolder().empty() || !succeeds("/usr/bin/python3 -c 'import olefile'")) {
        GTEST_SKIP() << "no corpus or no python3-olefile";
    }
    ScratchFolder folder;
    int compared = 0;
    for (const auto& item : std::filesystem::directory_iterator(corpusFolder())) {
        const auto& path = item.path();
        if (path.extension() != ".ppt" && path.extension() != ".doc") {
            continue;
        }
        if (path.filename().string().rfind("clusterfuzz-", 0) == 0) {
            EXPECT_EQ(cfbtest::errorKindOf([&] { CompoundFileReader::open(Env::Default(), path); }),
                      cfb::ErrorKind::Corrupt)
                << path;
            continue;
        }
        int status = 0;
        const std::string theirs = olefileListing(path, &status);
        ASSERT_EQ(status, 0) << path << ": olefile says " << theirs;
        std::unique_ptr<CompoundFileReader> reader;
        try {
            reader = CompoundFileReader::open(Env::Default(), path);
        } catch (const cfb::Error& error) {
            ADD_FAILURE() << path << ": olefile reads it, we say " << error.what();
            continue;
        }
        EXPECT_EQ(cfbtest::listing(*reader), theirs) << path;
        cfbtest::copyWhole(*reader, folder / "copy.cfb");
        EXPECT_EQ(olefileListing(folder / "copy.cfb", &status), theirs) << path;
        ++compared;
    }
    EXPECT_GT(compared, 10);
}

// A presentation copied element by element is still a presentation to Apache POI and
// LibreOffice.
TEST(CorpusTest, CopiedPresentationsOpenInPoiAndLibreOffice) {
    const auto original = corpusFolder() / "SampleShow.ppt";
    if (corpusFolder().empty() || !std::filesystem::exists(original)) {
        GTEST_SKIP() << "no corpus";
    }
    ScratchFolder folder;
    const auto copy = folder / "copy.ppt";
    cfbtest::copyWhole(*CompoundFileReader::open(Env::Default(), original), copy);
    int status = 0;
    if (std::filesystem::exists("/usr/share/java/poi-scratchpad.jar")) {
        const std::string listing =
            "java -cp /usr/share/java/poi.jar:/usr/share/java/poi-scratchpad.jar:"
            "/usr/share/java/commons-collections4.jar:/usr/share/java/commons-math3.jar:"
            "/usr/share/java/commons-codec.jar:/usr/share/java/commons-compress.jar "
            "org.apache.poi.hslf.dev.SlideAndNotesAtomListing ";
        const std::string theirs = run(listing + shellQuoted(original) + " 2>&1", &status);
        ASSERT_EQ(status, 0) << theirs;
        EXPECT_EQ(run(listing + shellQuoted(copy) + " 2>&1", &status), theirs);
        EXPECT_EQ(status, 0);
        EXPECT_NE(theirs.find("Found Slide"), std::string::npos);
    }
    if (std::filesystem::exists("/usr/bin/soffice")) {
        const std::string output =
            run("timeout 300 soffice -env:UserInstallation=file://" +
                    (folder / "profile").string() + " --headless --convert-to pdf --outdir " +
                    shellQuoted(folder / "pdf") + " " + shellQuoted(copy) + " 2>&1",
                &status);
        EXPECT_EQ(status, 0) << output;
        const auto pdf = folder / "pdf" / "copy.pdf";
        ASSERT_TRUE(std::filesystem::exists(pdf)) << output;
        EXPECT_GT(std::filesystem::file_size(pdf), 1000u);
    }
}

}  // namespace
