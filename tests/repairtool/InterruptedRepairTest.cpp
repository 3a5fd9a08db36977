#include <gtest/gtest.h>

#include "ReplaceWithRepairedTest.h"
#include "platform/Env.h"
#include "platform/MemoryReadableFile.h"
#include "repairtool/FileContent.h"
#include "repairtool/InterruptedRepair.h"

namespace {

using namespace replacetest;
using InterruptedRepairTest = ReplaceWithRepairedTest;

// A run is stopped after making its copy of "talk.ppt" (second name "other.ppt"), with the file
// left in one of the states an overwrite passes through: untouched, cut short, complete, put
// back. Run on the file's other name, an overwrite cut short is reported with the copy's place,
// kept copy or backup alike; a copy that is no longer needed is forgotten, a kept one deleted,
// except by a check, which gives the same answer and deletes nothing.
TEST_F(InterruptedRepairTest, OnlyAnOverwriteCutShortIsReportedOnAnyName) {
    if (!RecordsCopies()) {
        GTEST_SKIP() << "this file system keeps no record of a copy";
    }
    const std::string original = "original bytes of the presentation";
    const std::string repaired = "repaired bytes";
    const std::string states[] = {original, repaired.substr(0, 6) + original.substr(6), repaired,
                                  original};
    using Kind = PinnedFile::CopyKind;
    const std::pair<fs::path, Kind> copies[] = {
        {scratch_ / "talk.ppt.patchdoc-original", Kind::Kept},
        {temp_ / "talk.ppt.patchdoc-original", Kind::Kept},
        {scratch_ / "talk (Backup).ppt", Kind::Backup}};
    for (const auto& [copy, kind] : copies) {
        for (std::size_t state = 0; state < std::size(states); ++state) {
            SCOPED_TRACE(copy.u8string() + ", state " + std::to_string(state));
            fresh(true);
            WriteFileBytes(file_, original);
            MemoryReadableFile content(std::vector<std::uint8_t>(repaired.begin(), repaired.end()));
            ASSERT_EQ(Env::Default().pinFile(file_)->keepCopy(copy, kind, ContentDigest(content)),
                      0);
            if (state > 0) {
                WriteFileBytes(file_, states[state]);
            }
            const std::string checked = InterruptedRepair(*Env::Default().pinFile(file_), false);
            EXPECT_TRUE(fs::exists(copy));
            const std::string message =
                InterruptedRepair(*Env::Default().pinFile(scratch_ / "other.ppt"));
            EXPECT_EQ(checked, message);
            if (state == 1) {
                EXPECT_EQ(message,
                          "An earlier repair of this file was interrupted; its original content "
                          "is in " +
                              copy.u8string() +
                              ". Put that file back in place of this one, or delete it, and run "
                              "again. ");
                EXPECT_EQ(InterruptedRepair(*Env::Default().pinFile(file_)), message);
            } else {
                EXPECT_EQ(message, "");
                EXPECT_EQ(fs::exists(copy), kind == Kind::Backup);
            }
            fs::remove(copy);
        }
    }
}

}  // namespace
