#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "CfbTestSupport.h"
#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/EntryName.h"
#include "cfb/Error.h"
#include "cfb/ShellCommand.h"
#include "cfb/TempFolder.h"
#include "platform/Env.h"

// What we write must read back identically in readers that share no code with ours: python's
// olefile and libgsf's gsf tool. And what we read must agree with olefile on real files.

namespace {

using cfb::CompoundFileReader;
using cfb::CompoundFileWriter;
using cfbtest::pattern;

bool haveOlefile() {
    int status = 0;
    runShellCommand("/usr/bin/python3 -c 'import olefile' 2>/dev/null", &status);
    return status == 0;
}

bool haveGsf() {
    int status = 0;
    runShellCommand("command -v gsf >/dev/null 2>&1", &status);
    return status == 0;
}

std::string olefileListing(const std::filesystem::path& path, int* status) {
    return runShellCommand("/usr/bin/python3 " +
                               shellQuoted(std::string(CFB_TEST_SOURCE_DIR) + "/olefile_list.py") +
                               " " + shellQuoted(path.string()) + " 2>&1",
                           status);
}

// A file with a bit of everything: every size class, nested storages with CLSIDs, names with
// control characters and non-ASCII letters, many entries so the directory spans sectors.
void writeSample(const std::filesystem::path& path, cfb::Version version) {
    auto writer = CompoundFileWriter::create(Env::Default(), path, version);
    const cfb::DirectoryEntry::Clsid clsid{0x10, 0x8D, 0x81, 0x64, 0x9B, 0x4F, 0xCF, 0x11,
                                           0x86, 0xEA, 0x00, 0xAA, 0x00, 0xB9, 0x29, 0xE8};
    writer->setClsid(CompoundFileWriter::kRoot, clsid);
    std::uint32_t seed = 0;
    for (std::size_t size : {0, 1, 64, 4095, 4096, 4097, 1 << 20}) {
        cfbtest::writeStream(*writer, 0, u"Size " + cfb::EntryName::fromUtf8(std::to_string(size)),
                             pattern(size, ++seed));
    }
    cfbtest::writeStream(*writer, 0, u"\u0005SummaryInformation", pattern(300, ++seed));
    cfbtest::writeStream(*writer, 0, u"\u00c9t\u00e9 \u4e2d", pattern(5000, ++seed));
    const std::uint32_t pool = writer->createStorage(0, u"ObjectPool");
    writer->setClsid(pool, clsid);
    for (int i = 0; i < 40; ++i) {
        const std::uint32_t object =
            writer->createStorage(pool, cfb::EntryName::fromUtf8("_" + std::to_string(1000 + i)));
        cfbtest::writeStream(*writer, object, u"\u0001Ole", pattern(20, ++seed));
        cfbtest::writeStream(*writer, object, u"Contents", pattern(i * 300, ++seed));
    }
    writer->commit();
}

class IndependentReaderTest : public ::testing::TestWithParam<cfb::Version> {};

TEST_P(IndependentReaderTest, OlefileListsWhatWeWroteAndWeRead) {
    if (!haveOlefile()) {
        GTEST_SKIP() << "python3-olefile is not installed";
    }
    TempFolder folder;
    const auto path = folder.file("sample.cfb");
    writeSample(path, GetParam());
    int status = 0;
    const std::string theirs = olefileListing(path, &status);
    ASSERT_EQ(status, 0) << theirs;
    EXPECT_EQ(theirs, cfbtest::listing(*CompoundFileReader::open(Env::Default(), path)));
    EXPECT_NE(theirs.find("storage ObjectPool/_1039 \n"), std::string::npos) << theirs;
}

TEST_P(IndependentReaderTest, GsfListsAndCatsWhatWeWrote) {
    if (!haveGsf()) {
        GTEST_SKIP() << "libgsf-bin is not installed";
    }
    TempFolder folder;
    const auto path = folder.file("sample.cfb");
    writeSample(path, GetParam());
    int status = 0;
    const std::string list = runShellCommand("gsf list " + shellQuoted(path.string()), &status);
    ASSERT_EQ(status, 0) << list;
    for (std::size_t size : {0, 1, 64, 4095, 4096, 4097, 1 << 20}) {
        EXPECT_NE(list.find(std::to_string(size) + " Size " + std::to_string(size) + "\n"),
                  std::string::npos)
            << list;
    }
    std::uint32_t seed = 0;
    for (std::size_t size : {0, 1, 64, 4095, 4096, 4097, 1 << 20}) {
        const std::string name = "Size " + std::to_string(size);
        const std::string data = runShellCommand(
            "gsf cat " + shellQuoted(path.string()) + " " + shellQuoted(name), &status);
        ASSERT_EQ(status, 0) << name;
        const auto expected = pattern(size, ++seed);
        EXPECT_EQ(data, std::string(expected.begin(), expected.end())) << name;
    }
    const std::string nested = runShellCommand(
        "gsf cat " + shellQuoted(path.string()) + " ObjectPool/_1039/Contents", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(nested.size(), 39u * 300);
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
    const char* corpus = std::getenv("PATCH_CORPUS");
    if (corpus == nullptr || !std::filesystem::is_directory(corpus)) {
        GTEST_SKIP() << "no corpus";
    }
    if (!haveOlefile()) {
        GTEST_SKIP() << "python3-olefile is not installed";
    }
    TempFolder folder;
    int compared = 0;
    for (const auto& item : std::filesystem::directory_iterator(corpus)) {
        const auto& path = item.path();
        if (path.extension() != ".ppt" && path.extension() != ".doc") {
            continue;
        }
        if (path.filename().string().rfind("clusterfuzz-", 0) == 0) {
            try {
                CompoundFileReader::open(Env::Default(), path);
                ADD_FAILURE() << path << " is damaged, yet it opened";
            } catch (const cfb::Error& error) {
                EXPECT_EQ(error.kind(), cfb::ErrorKind::Corrupt) << path << ": " << error.what();
            }
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

        const auto copyPath = folder.file("copy.cfb");
        {
            auto writer = CompoundFileWriter::create(Env::Default(), copyPath);
            for (std::uint32_t id : reader->children(CompoundFileReader::kRoot)) {
                writer->copyElement(*reader, id, CompoundFileWriter::kRoot);
            }
            writer->copyRootAttributes(*reader);
            writer->commit();
        }
        EXPECT_EQ(olefileListing(copyPath, &status), theirs) << path;
        ++compared;
    }
    EXPECT_GT(compared, 10);
}

}  // namespace

namespace {

std::filesystem::path corpusFile(const std::string& name) {
    const char* corpus = std::getenv("PATCH_CORPUS");
    return corpus == nullptr ? std::filesystem::path() : std::filesystem::path(corpus) / name;
}

void copyWhole(const std::filesystem::path& from, const std::filesystem::path& to) {
    auto reader = CompoundFileReader::open(Env::Default(), from);
    auto writer = CompoundFileWriter::create(Env::Default(), to);
    for (std::uint32_t id : reader->children(CompoundFileReader::kRoot)) {
        writer->copyElement(*reader, id, CompoundFileWriter::kRoot);
    }
    writer->copyRootAttributes(*reader);
    writer->commit();
}

// A presentation copied element by element is still a presentation to Apache POI and
// LibreOffice.
TEST(CorpusTest, CopiedPresentationsOpenInPoiAndLibreOffice) {
    const auto original = corpusFile("SampleShow.ppt");
    if (original.empty() || !std::filesystem::exists(original)) {
        GTEST_SKIP() << "no corpus";
    }
    TempFolder folder;
    const auto copy = folder.file("copy.ppt");
    copyWhole(original, copy);
    int status = 0;
    const std::string classPath =
        "/usr/share/java/poi.jar:/usr/share/java/poi-scratchpad.jar:"
        "/usr/share/java/commons-collections4.jar:/usr/share/java/commons-math3.jar:"
        "/usr/share/java/commons-codec.jar:/usr/share/java/commons-compress.jar";
    if (std::filesystem::exists("/usr/share/java/poi-scratchpad.jar")) {
        const std::string listing =
            "java -cp " + classPath + " org.apache.poi.hslf.dev.SlideAndNotesAtomListing ";
        const std::string theirs =
            runShellCommand(listing + shellQuoted(original.string()) + " 2>&1", &status);
        ASSERT_EQ(status, 0) << theirs;
        EXPECT_EQ(runShellCommand(listing + shellQuoted(copy.string()) + " 2>&1", &status), theirs);
        EXPECT_EQ(status, 0);
        EXPECT_NE(theirs.find("Found Slide"), std::string::npos);
    }
    if (std::filesystem::exists("/usr/bin/soffice")) {
        const std::string output = runShellCommand(
            "timeout 300 soffice -env:UserInstallation=file://" + folder.file("profile").string() +
                " --headless --convert-to pdf --outdir " +
                shellQuoted(folder.file("pdf").string()) + " " + shellQuoted(copy.string()) +
                " 2>&1",
            &status);
        EXPECT_EQ(status, 0) << output;
        const auto pdf = folder.file("pdf") / "copy.pdf";
        ASSERT_TRUE(std::filesystem::exists(pdf)) << output;
        EXPECT_GT(std::filesystem::file_size(pdf), 1000u);
    }
}

}  // namespace
