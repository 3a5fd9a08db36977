#include <gtest/gtest.h>

#include "repair/RepairFixtures.h"
#include "support/Corpus.h"
#include "support/PresentationBuilder.h"

using namespace fixtures;
namespace fs = std::filesystem;

namespace {

// The outcome of the repair pass for each real presentation of the corpus, and the number of
// shapes repaired (counted by an independent reader, inside embedded presentations included).
struct Expected {
    const char* file;
    int outcome;
    int count;
    const char* message;
};

const Expected kExpected[] = {
    {"flattened-ole2-embedding-2003.ppt", 0, 2, "Successfully fixed 2 flattened embedded objects."},
    {"flattened-testPPT_oleWorkbook.ppt", 0, 1, "Successfully fixed 1 flattened embedded objects."},
    {"flattened-37625.ppt", 0, 10, "Successfully fixed 10 flattened embedded objects."},
    {"flattened-42474-2.ppt", 0, 21, "Successfully fixed 21 flattened embedded objects."},
    {"flattened-45543.ppt", 0, 3, "Successfully fixed 3 flattened embedded objects."},
    {"flattened-bug60345_suba.ppt", 0, 10, "Successfully fixed 10 flattened embedded objects."},
    {"ole2-embedding-2003.ppt", 1, 0, "No problems found."},
    {"SampleShow.ppt", 1, 0, "No problems found."},
    {"basic_test_ppt_file.ppt", 1, 0, "No problems found."},
    {"54880_chinese.ppt", 1, 0, "No problems found."},
    {"Password_Protected-hello.ppt", 2, 0,
     "This tool cannot repair encrypted or password-protected files."},
    {"PPT95.ppt", 2, 0, "Old version of PowerPoint [Old version of PowerPoint]"},
    {"word-document-47304.doc", 2, 0, "I/O exception [Error opening stream [Current User]]"},
    // The user edit chain returns to an edit already read.
    {"57272_corrupted_usereditatom.ppt", 2, 0,
     "I/O exception [Loop detected in Persistent Directory]"},
};

TEST(CorpusRepairTest, EveryRealFileGetsItsExpectedOutcome) {
    if (corpusFolder().empty()) {
        GTEST_SKIP() << "corpus not available (PATCH_CORPUS)";
    }
    for (const Expected& expected : kExpected) {
        SCOPED_TRACE(expected.file);
        const PassRun run(readFile(corpusFolder() / expected.file));
        EXPECT_EQ(run.outcome, expected.outcome);
        EXPECT_EQ(run.fixFile.fixedCount(), expected.count);
        EXPECT_EQ(run.message, expected.message);
    }
    // Files made by a fuzzer end in a clear error.
    for (const fs::directory_entry& entry : fs::directory_iterator(corpusFolder())) {
        if (entry.path().filename().string().rfind("clusterfuzz-", 0) == 0) {
            SCOPED_TRACE(entry.path().filename().string());
            const PassRun run(readFile(entry.path()));
            EXPECT_EQ(run.outcome, 2);
            EXPECT_FALSE(run.message.empty());
            EXPECT_NE(run.message, "An unexpected error occurred.");
        }
    }
}

}  // namespace
