#include <gtest/gtest.h>

#include "ReplaceFixture.h"
#include "repairtool/MakeBackupName.h"
#include "repairtool/ReplaceWithRepaired.h"

namespace {

namespace fs = std::filesystem;

using BackupTest = ReplaceFixture;

TEST_F(BackupTest, NamesCountUpToNine) {
    const fs::path talk = scratch_ / "talk.ppt";
    EXPECT_EQ(MakeBackupName(talk), scratch_ / "talk (Backup).ppt");
    WriteFileBytes(scratch_ / "talk (Backup).ppt", "");
    EXPECT_EQ(MakeBackupName(talk), scratch_ / "talk (Backup 1).ppt");
    for (int i = 1; i <= 8; ++i) {
        WriteFileBytes(scratch_ / ("talk (Backup " + std::to_string(i) + ").ppt"), "");
    }
    EXPECT_EQ(MakeBackupName(talk), scratch_ / "talk (Backup 9).ppt");
    WriteFileBytes(scratch_ / "talk (Backup 9).ppt", "");
    EXPECT_EQ(MakeBackupName(talk), fs::path());
}

TEST_F(BackupTest, AnythingUnderTheNameTakesIt) {
    fs::create_directory(scratch_ / "a (Backup).ppt");
    fs::create_symlink(scratch_ / "nowhere", scratch_ / "a (Backup 1).ppt");
    EXPECT_EQ(MakeBackupName(scratch_ / "a.ppt"), scratch_ / "a (Backup 2).ppt");
}

TEST_F(BackupTest, SuffixGoesBeforeTheLastDotOfTheFileNameOnly) {
    EXPECT_EQ(MakeBackupName(scratch_ / "notes"), scratch_ / "notes (Backup)");
    EXPECT_EQ(MakeBackupName(scratch_ / "a.b.ppt"), scratch_ / "a.b (Backup).ppt");
    EXPECT_EQ(MakeBackupName(scratch_ / "v1.2" / "readme"), scratch_ / "v1.2" / "readme (Backup)");
    EXPECT_EQ(MakeBackupName("talk.ppt"), fs::path("talk (Backup).ppt"));
}

TEST_F(BackupTest, BackupHoldsTheOldBytes) {
    fs::create_directory(scratch_ / "v1.2");
    const fs::path file = scratch_ / "v1.2" / "readme";
    WriteFileBytes(file, "old");
    auto repaired = Repaired(file.parent_path(), "new");
    std::string message;
    ASSERT_TRUE(ReplaceWithRepaired(file, *repaired, true, message)) << message;
    EXPECT_EQ(ReadFileBytes(file), "new");
    EXPECT_EQ(ReadFileBytes(scratch_ / "v1.2" / "readme (Backup)"), "old");
    EXPECT_EQ(Names(file.parent_path()), (std::vector<std::string>{"readme", "readme (Backup)"}));
}

TEST_F(BackupTest, NoBackupWithTheOptionOff) {
    const fs::path file = scratch_ / "talk.ppt";
    WriteFileBytes(file, "old");
    auto repaired = Repaired(scratch_.path(), "new");
    std::string message;
    ASSERT_TRUE(ReplaceWithRepaired(file, *repaired, false, message)) << message;
    EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
}

TEST_F(BackupTest, TenTakenNamesLeaveTheFileAlone) {
    const fs::path file = scratch_ / "talk.ppt";
    WriteFileBytes(file, "old");
    WriteFileBytes(scratch_ / "talk (Backup).ppt", "");
    for (int i = 1; i <= 9; ++i) {
        WriteFileBytes(scratch_ / ("talk (Backup " + std::to_string(i) + ").ppt"), "");
    }
    auto repaired = Repaired(scratch_.path(), "new");
    std::string message;
    EXPECT_FALSE(ReplaceWithRepaired(file, *repaired, true, message));
    EXPECT_EQ(message,
              "Could not generate a suitable backup file name. Your file has not been "
              "modified.\n");
    EXPECT_EQ(ReadFileBytes(file), "old");
}

}  // namespace
