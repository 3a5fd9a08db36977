#include <gtest/gtest.h>

#include "ReplaceWithRepairedTest.h"
#include "platform/Env.h"
#include "platform/MemoryReadableFile.h"
#include "repairtool/FileContent.h"
#include "repairtool/InterruptedRepair.h"

namespace {

namespace fs = std::filesystem;

// What a run leaves when it is stopped after making its copy of "talk.ppt", which has the second
// name "other name.ppt", and then the file in one of the states an overwrite passes through.
class InterruptedRepairTest : public ::testing::Test {
protected:
    enum class State { Untouched, CutShort, Complete, PutBack };

    void SetUp() override {
        if (!replacetest::RecordsCopies()) {
            GTEST_SKIP() << "this file system keeps no record of a copy";
        }
        WriteFileBytes(file_, kOriginal);
        fs::create_hard_link(file_, scratch_ / "other name.ppt");
    }

    void leave(const fs::path& copy, PinnedFile::CopyKind kind, State state) {
        MemoryReadableFile repaired(std::vector<std::uint8_t>(kRepaired.begin(), kRepaired.end()));
        ASSERT_EQ(Env::Default().pinFile(file_)->keepCopy(copy, kind, ContentDigest(repaired)), 0);
        const std::string bytes[] = {kOriginal, kRepaired.substr(0, 6) + kOriginal.substr(6),
                                     kRepaired, kOriginal};
        if (state != State::Untouched) {
            WriteFileBytes(file_, bytes[static_cast<int>(state)]);
        }
    }

    const std::string kOriginal = "original bytes of the presentation";
    const std::string kRepaired = "repaired bytes";
    ScratchFolder scratch_;
    ScratchFolder temp_;
    ScopedTmpdir tmpdir_{temp_.path().u8string()};
    const fs::path file_ = scratch_ / "talk.ppt";
};

// Run on the file's other name: an overwrite cut short is reported with the copy's place, kept
// copy or backup alike; a copy that is no longer needed is forgotten, a kept one deleted, except
// by a check, which gives the same answer and deletes nothing.
TEST_F(InterruptedRepairTest, OnlyAnOverwriteCutShortIsReportedOnAnyName) {
    using Kind = PinnedFile::CopyKind;
    const std::pair<fs::path, Kind> copies[] = {
        {scratch_ / "talk.ppt.patchdoc-original", Kind::Kept},
        {temp_ / "talk.ppt.patchdoc-original", Kind::Kept},
        {scratch_ / "talk (Backup).ppt", Kind::Backup}};
    for (const auto& [copy, kind] : copies) {
        for (const State state :
             {State::Untouched, State::CutShort, State::Complete, State::PutBack}) {
            SCOPED_TRACE(copy.u8string() + ", state " + std::to_string(static_cast<int>(state)));
            WriteFileBytes(file_, kOriginal);
            leave(copy, kind, state);
            const std::string checked = InterruptedRepair(*Env::Default().pinFile(file_), false);
            EXPECT_TRUE(fs::exists(copy));
            const std::string message =
                InterruptedRepair(*Env::Default().pinFile(scratch_ / "other name.ppt"));
            EXPECT_EQ(checked, message);
            if (state == State::CutShort) {
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
