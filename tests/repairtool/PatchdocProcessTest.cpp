// Drives the Patchdoc program itself and checks what it prints and its exit codes.
#include "PatchdocTest.h"

#include <map>

#include "support/Corpus.h"
#include "support/Deck.h"
#include "support/Records.h"

namespace {

using namespace patchdoctest;

const std::string kUsage =
    "\n\nUsage: Patchdoc [-d] file_to_repair.ppt\n\nOption: -d\tDisable the creation of a backup "
    "file\n\nReturn values: \n0\tThe repair was successful\n1\tAn error occurred\n2\tNo repair "
    "was necessary\n";

// Arguments that name no single file print the usage after the reason. The option may stand
// before or after the path, and a path containing "-d" is a path. A file that is not a
// presentation is left as it was, and nothing stays behind; a path that names no regular file
// does not exist. Every such run ends with exit code 1.
TEST_F(PatchdocTest, ArgumentsAndPathsThatNameNoPresentation) {
    const fs::path talk = notAPresentation("talks", "a.ppt");
    const fs::path dashed = notAPresentation("my-docs", "2008-dec.ppt");
    const fs::file_time_type before = fs::last_write_time(dashed);
    fs::create_directory(scratch_ / "folder.ppt");
    const std::string missing = (scratch_ / "missing.ppt").u8string();
    const std::string folder = (scratch_ / "folder.ppt").u8string();
    const std::string count = "Invalid number of arguments.\n" + kUsage;
    const std::string none = "The file to be repaired has not been specified.\n" + kUsage;
    const std::string invalid = "The arguments are invalid.\n" + kUsage;
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, count},
        {{"-d", "a.ppt", "b.ppt"}, count},
        {{"-d"}, none},
        {{"-d", "-d"}, none},
        {{"a.ppt", "b.ppt"}, invalid},
        {{"my-docs/a.ppt", "x-d"}, invalid},  // even when they contain -d
        // A third argument only beside "-n", and still one path.
        {{"-n"}, none},
        {{"-n", "a.ppt", "b.ppt"}, invalid},
        {{"-n", "-d", "a.ppt", "b.ppt"}, count},
        {{talk.u8string(), "-d"}, "[err], " + kNotPowerPoint + talk.u8string() + "\n"},
        {{"-d", talk.u8string()}, "[err], " + kNotPowerPoint + talk.u8string() + "\n"},
        {{dashed.u8string()}, "[err], " + kNotPowerPoint + dashed.u8string() + "\n"},
        {{missing}, missing + " does not exist.\n"},
        {{folder}, folder + " does not exist.\n"}};
    for (const auto& [arguments, out] : cases) {
        const RunOutput result = run(arguments);
        EXPECT_EQ(result.out, out);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(CountTempFiles(temp_.path()), 0);
    }
    for (const fs::path& path : {talk, dashed}) {
        EXPECT_EQ(ReadFileBytes(path), "This is not a presentation.\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), {}), 1);
    }
    EXPECT_TRUE(fs::last_write_time(dashed) == before);
}

// A console that went away changes nothing: the file is repaired and replaced, the backup made,
// the exit code is 0 and no temporary file stays behind.
TEST_F(PatchdocTest, ClosedOutputPipeChangesNoOutcome) {
    const fs::path file = scratch_ / "deck.ppt";
    fixtures::buildDeck({{{fixtures::oleShape(1025, 1, true)}}, {}}).writeTo(file);
    const std::string original = ReadFileBytes(file);
    const RunOutput result = run({file.u8string()}, {}, fixtures::StandardOutput::ClosedPipe);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(ReadFileBytes(file), original);
    EXPECT_EQ(ReadFileBytes(scratch_ / "deck (Backup).ppt"), original);
    EXPECT_EQ(CountTempFiles(scratch_.path()), 0);
    EXPECT_EQ(CountTempFiles(temp_.path()), 0);
    // Nothing left to repair: still the same exit code as on a console.
    EXPECT_EQ(run({"-d", file.u8string()}, {}, fixtures::StandardOutput::ClosedPipe).exitCode, 2);
}

// Every real presentation of the corpus, checked (-n) and then repaired, gets its expected outcome
// (the count of repaired shapes taken by an independent reader, embedded presentations
// included); files made by a fuzzer end in a clear error. A file is changed only on exit code 0,
// then with its old bytes in the backup, and no temporary file stays behind.
TEST_F(PatchdocTest, CorpusFilesGetTheirExpectedOutcomes) {
    const fs::path corpus = fixtures::corpusFolder();
    if (corpus.empty()) {
        GTEST_SKIP() << "no corpus folder (PATCH_CORPUS)";
    }
    const std::map<std::string, std::string> expected = {
        {"flattened-ole2-embedding-2003.ppt", "[flattened 2], "},
        {"flattened-testPPT_oleWorkbook.ppt", "[flattened 1], "},
        {"flattened-37625.ppt", "[flattened 10], "},
        {"flattened-42474-2.ppt", "[flattened 21], "},
        {"flattened-45543.ppt", "[flattened 3], "},
        {"flattened-bug60345_suba.ppt", "[flattened 10], "},
        {"ole2-embedding-2003.ppt", "[ok], "},
        {"SampleShow.ppt", "[ok], "},
        {"basic_test_ppt_file.ppt", "[ok], "},
        {"54880_chinese.ppt", "[ok], "},
        {"Password_Protected-hello.ppt",
         "[err], This tool cannot repair encrypted or password-protected files."},
        {"PPT95.ppt", "[err], Old version of PowerPoint [Old version of PowerPoint]"},
        {"word-document-47304.doc", "[err], I/O exception [Error opening stream [Current User]]"},
        // The user edit chain returns to an edit already read.
        {"57272_corrupted_usereditatom.ppt",
         "[err], I/O exception [Loop detected in Persistent Directory]"},
    };
    std::size_t named = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        const std::string name = entry.path().filename().u8string();
        if (entry.path().extension() == ".md") {
            continue;
        }
        SCOPED_TRACE(name);
        const fs::path folder = scratch_ / name;
        const std::string path = (folder / name).u8string();
        const auto known = expected.find(name);
        ASSERT_TRUE(known != expected.end() || name.rfind("clusterfuzz-", 0) == 0);
        fs::create_directory(folder);
        const std::string original = ReadFileBytes(entry.path());
        WriteFileBytes(folder / name, original);
        const RunOutput checked = run({"-n", path});
        if (known != expected.end()) {
            ++named;
            EXPECT_EQ(checked.out, known->second + path + "\n");
        } else {
            EXPECT_EQ(checked.out.rfind("[err], ", 0), 0u) << checked.out;
            EXPECT_EQ(checked.out.find("An unexpected error occurred."), std::string::npos);
        }
        const bool repairable = checked.out.rfind("[flattened ", 0) == 0;
        const RunOutput result = run({path});
        EXPECT_EQ(result.out, repairable ? "[fixed], " + path + "\n" : checked.out);
        EXPECT_EQ(result.exitCode, repairable ? 0 : checked.out[1] == 'o' ? 2 : 1);
        EXPECT_EQ(checked.exitCode, result.exitCode);
        EXPECT_EQ(CountTempFiles(folder), 0);
        EXPECT_EQ(CountTempFiles(temp_.path()), 0);
        if (repairable) {
            EXPECT_EQ(ReadFileBytes(folder / (entry.path().stem().u8string() + " (Backup)" +
                                              entry.path().extension().u8string())),
                      original);
        } else {
            EXPECT_EQ(ReadFileBytes(folder / name), original);
            EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
        }
    }
    EXPECT_EQ(named, expected.size());
}

}  // namespace
