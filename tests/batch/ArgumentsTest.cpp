#include <gtest/gtest.h>

#include <algorithm>
#include <boost/date_time/posix_time/posix_time.hpp>

#include "BatchTestSupport.h"
#include "batch/BatchArguments.h"
#include "batch/LogFileName.h"
#include "platform/SystemConventions.h"

using namespace batchtest;

namespace {

// The help text, with the default log folder and the examples the system's conventions give.
std::string HelpText() {
    return std::string(
               "\n\n\n"
               "This tool has been specifically created to fixup binary PowerPoint files "
               "optimized using Featherpack 3.5 or earlier where any images were "
               "flattened. \n"
               "\n"
               "The tool will recursively iterate the folders specified to look for "
               "binary PowerPoint files to repair. The tool produces a log of the ppt "
               "files it encounters and, for each, lists one of the following:\n"
               "\n"
               "i.)  '[fixed], <filename>': the file was repaired\n"
               "ii.) '[ok], <filename>': the file doesn't need repairing\n"
               "iii.)'[err], <filename>': there was a problem repairing the file\n"
               "\n"
               "By default, a log is created at ") +
           Conventions().defaultLogFolderShown +
           "<date-timestamped>.log.  However, the location of the log can be changed (see "
           "options). By default, a backup file is created for any .ppt file that has been "
           "repaired.  The backup filename is the same as the original with ' (backup)' appended "
           "to it. If the backup filename already exists, then ' (backup n)' will be created "
           "where 'n' is a number from 1 to 9. The creation of backups can be disabled (see "
           "options). After the options, the remaining arguments specified are assumed to be "
           "directories.\n"
           "\n"
           "\n"
           "Usage:\tPatchtree [-d] [-l:" +
           Conventions().exampleLogFolder +
           "] directory1 directory2 directory3 ...\n"
           "Options:\n"
           "\t-d\t\tDisable the creation of backup files for each file fixed\n"
           "\t-l:" +
           Conventions().exampleLogOption +
           "\tCreate a log file at the location specified after ':'\n";
}

TEST(BatchArgumentsTest, OptionsAreWholeArguments) {
    const BatchArguments parsed =
        ParseBatchArguments({"/srv/my-docs", "x-dy", "-dx", "a-l:b", "-L:c", "-d"});
    EXPECT_FALSE(parsed.createBackup);
    EXPECT_EQ(parsed.logFolder, "");
    EXPECT_EQ(parsed.folders,
              (std::vector<std::string>{"/srv/my-docs", "x-dy", "-dx", "a-l:b", "-L:c"}));
}

// The system's separator is added unless the text ends with it; the other one does not count.
TEST(BatchArgumentsTest, LogFolderGetsOneSeparatorAndTheLastOptionWins) {
    const std::string separator(1, Conventions().folderSeparator);
    const std::string other = separator == "/" ? "\\" : "/";
    EXPECT_EQ(ParseBatchArguments({"-l:/logs"}).logFolder, "/logs" + separator);
    EXPECT_EQ(ParseBatchArguments({"-l:/logs" + separator}).logFolder, "/logs" + separator);
    EXPECT_EQ(ParseBatchArguments({"-l:c:\\logs" + other}).logFolder,
              "c:\\logs" + other + separator);
    EXPECT_EQ(ParseBatchArguments({"-l:/a", "dir", "-l:/b"}).logFolder, "/b" + separator);
    EXPECT_EQ(ParseBatchArguments({"-l:/a", "-l:"}).logFolder, "");

    const BatchArguments withDash = ParseBatchArguments({"-l:/my-docs" + separator, "dir"});
    EXPECT_EQ(withDash.logFolder, "/my-docs" + separator);
    EXPECT_TRUE(withDash.createBackup);
    EXPECT_EQ(withDash.folders, std::vector<std::string>{"dir"});
}

// "-n" and "-j:N" are whole arguments too; the last "-j:" wins, and its number is 0 (the
// processors, also for "-j:" alone) to 256.
TEST(BatchArgumentsTest, CheckOnlyAndJobs) {
    const BatchArguments none = ParseBatchArguments({"dir", "-nx", "-j", "x-j:2"});
    EXPECT_FALSE(none.checkOnly);
    EXPECT_FALSE(none.jobs.has_value());
    EXPECT_EQ(none.folders, (std::vector<std::string>{"dir", "-nx", "-j", "x-j:2"}));
    EXPECT_TRUE(ParseBatchArguments({"dir", "-n"}).checkOnly);
    const std::pair<const char*, std::optional<unsigned>> jobs[] = {
        {"-j:", 0u},
        {"-j:0", 0u},
        {"-j:1", 1u},
        {"-j:256", 256u},
        {"-j:016", 16u},
        {"-j:257", std::nullopt},
        {"-j:-1", std::nullopt},
        {"-j:4x", std::nullopt},
        {"-j:99999999999", std::nullopt},
    };
    for (const auto& [option, value] : jobs) {
        const BatchArguments parsed = ParseBatchArguments({option, "dir"});
        EXPECT_EQ(parsed.jobs, value) << option;
        EXPECT_EQ(parsed.invalidJobs, !value) << option;
        EXPECT_EQ(parsed.folders, std::vector<std::string>{"dir"}) << option;
    }
    EXPECT_EQ(ParseBatchArguments({"-j:x", "-j:3", "dir"}).jobs, 3u);
}

using PatchtreeCommandLineTest = PatchtreeTest;

TEST_F(PatchtreeCommandLineTest, NoFolderPrintsTheHelp) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "Invalid number of arguments.\n"},    {{"-d"}, "Invalid parameters.\n"},
        {{logOption()}, "Invalid parameters.\n"},  {{"-d", "-l:"}, "Invalid parameters.\n"},
        {{"-n", "-j:4"}, "Invalid parameters.\n"}, {{"-j:300", "dir"}, "Invalid parameters.\n"},
    };
    for (const auto& [arguments, first] : cases) {
        const RunOutput result = patchtree.run(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, first + HelpText());
    }
    EXPECT_FALSE(fs::exists(logs));
    EXPECT_FALSE(fs::exists(patchtree.home() / "Brambleco"));
}

// Where the log goes: into the folder of the last option, with or without a separator, its
// missing last level created. (The default folder is the system's: see PatchtreePosixTest.cpp.)
TEST_F(PatchtreeCommandLineTest, LogFolderOption) {
    WriteFile(tree / "a.ppt", "exit 2");
    fs::create_directory(scratch / "given");
    EXPECT_EQ(patchtree.run({"-l:" + (scratch / "given").u8string(), tree.u8string()}).exitCode, 0);
    EXPECT_EQ(SplitLines(ReadLogText(scratch / "given")),
              std::vector<std::string>{"[ok], " + Shown(tree / "a.ppt")});
    // The log goes inside the created folder, never beside it.
    const std::string made = (scratch / "made").u8string() + Conventions().folderSeparator;
    EXPECT_EQ(patchtree.run({"-l:" + made, tree.u8string()}).exitCode, 0);
    EXPECT_EQ(LogFiles(scratch / "made").size(), 1u);
    EXPECT_TRUE(LogFiles(scratch.path()).empty());

    const std::string first = "-l:" + (scratch / "first").u8string();
    EXPECT_EQ(patchtree.run({first, tree.u8string(), logOption()}).exitCode, 0);
    EXPECT_FALSE(fs::exists(scratch / "first"));
    EXPECT_EQ(LogFiles(logs).size(), 1u);
}

TEST_F(PatchtreeCommandLineTest, LogFileIsNamedAfterTheLocalTime) {
    using boost::posix_time::second_clock;
    WriteFile(tree / "a.ppt", "exit 2");
    const boost::posix_time::ptime before = second_clock::local_time();
    patchtree.run({logOption(), tree.u8string()});
    const boost::posix_time::ptime after = second_clock::local_time();

    const std::vector<fs::path> found = LogFiles(logs);
    ASSERT_EQ(found.size(), 1u);
    std::vector<std::string> names;
    for (auto moment = before; moment <= after; moment += boost::posix_time::seconds(1)) {
        names.push_back(LogFileNameAt(moment));
    }
    EXPECT_NE(std::find(names.begin(), names.end(), found.front().filename().u8string()),
              names.end())
        << found.front() << " is not named after a moment of the run, such as " << names.front();
}

TEST_F(PatchtreeCommandLineTest, UncreatableLogFolderPrintsTheFailureAndEndsWithOne) {
    WriteFile(tree / "a.ppt", "exit 2");
    const std::string logFolder = (scratch / "missing" / "logs").u8string();
    const RunOutput result = patchtree.run({"-l:" + logFolder, tree.u8string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find(logFolder), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("There was a problem"), std::string::npos) << result.out;
    EXPECT_TRUE(patchtree.childCalls().empty());
}

// A file where the log folder should be is refused before anything is walked, with or without
// a separator after its name.
TEST_F(PatchtreeCommandLineTest, LogFolderThatIsAFileIsRefused) {
    WriteFile(tree / "a.ppt", "exit 2");
    WriteFile(scratch / "taken", "not a folder");
    const std::string taken = (scratch / "taken").u8string();
    for (const std::string& folder : {taken, taken + Conventions().folderSeparator}) {
        const RunOutput result = patchtree.run({"-l:" + folder, tree.u8string()});
        EXPECT_EQ(result.exitCode, 1) << folder;
        EXPECT_EQ(result.out, "The log folder " + taken + " is a file, not a folder.\n");
    }
    EXPECT_TRUE(patchtree.childCalls().empty());
    EXPECT_EQ(ReadFile(scratch / "taken"), "not a folder");
}

}  // namespace
