#include <gtest/gtest.h>

#include <algorithm>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <sstream>

#include "BatchTestSupport.h"
#include "batch/BatchArguments.h"
#include "batch/HelpText.h"
#include "batch/LogFileName.h"
#include "platform/SystemConventions.h"

using namespace batchtest;

namespace {

// Options are whole arguments. The log folder gets the system's separator unless it ends with it
// (the other one does not count); the last "-l:" wins, and one alone means the default folder.
// The last "-j:" wins too, and its number is 0 (the processors, also for "-j:" alone) to 256.
TEST(BatchArgumentsTest, OptionsAreWholeArgumentsAndTheLastOneWins) {
    const std::string sep(1, Conventions().folderSeparator);
    const std::string other = sep == "/" ? "\\" : "/";
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> folders;
        std::string logFolder;
        bool backup = true;
        bool checkOnly = false;
        std::optional<unsigned> jobs = std::nullopt;
        bool invalidJobs = false;
    };
    const std::vector<std::string> notOptions{"/srv/my-docs", "x-dy", "-dx", "a-l:b",
                                              "-L:c",         "-nx",  "-j",  "x-j:2"};
    std::vector<std::string> withBackupsOff = notOptions;
    withBackupsOff.push_back("-d");
    const Case cases[] = {
        {withBackupsOff, notOptions, "", false},
        {{"-l:/logs"}, {}, "/logs" + sep},
        {{"-l:/logs" + sep}, {}, "/logs" + sep},
        {{"-l:c:\\logs" + other}, {}, "c:\\logs" + other + sep},
        {{"-l:/a", "dir", "-l:/b"}, {"dir"}, "/b" + sep},
        {{"-l:/a", "-l:"}, {}, ""},
        {{"dir", "-n"}, {"dir"}, "", true, true},
        {{"-j:", "dir"}, {"dir"}, "", true, false, 0u},
        {{"-j:0", "dir"}, {"dir"}, "", true, false, 0u},
        {{"-j:256", "dir"}, {"dir"}, "", true, false, 256u},
        {{"-j:016", "dir"}, {"dir"}, "", true, false, 16u},
        {{"-j:x", "-j:3", "dir"}, {"dir"}, "", true, false, 3u},
        {{"-j:257", "dir"}, {"dir"}, "", true, false, std::nullopt, true},
        {{"-j:-1", "dir"}, {"dir"}, "", true, false, std::nullopt, true},
        {{"-j:4x", "dir"}, {"dir"}, "", true, false, std::nullopt, true},
        {{"-j:99999999999", "dir"}, {"dir"}, "", true, false, std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const BatchArguments parsed = ParseBatchArguments(c.arguments);
        EXPECT_EQ(parsed.folders, c.folders);
        EXPECT_EQ(parsed.logFolder, c.logFolder);
        EXPECT_EQ(parsed.createBackup, c.backup);
        EXPECT_EQ(parsed.checkOnly, c.checkOnly);
        EXPECT_EQ(parsed.jobs, c.jobs);
        EXPECT_EQ(parsed.invalidJobs, c.invalidJobs);
    }
}

using PatchtreeCommandLineTest = PatchtreeTest;

TEST_F(PatchtreeCommandLineTest, NoFolderPrintsTheHelp) {
    std::ostringstream help;
    PrintHelp(help);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "Invalid number of arguments.\n"},    {{"-d"}, "Invalid parameters.\n"},
        {{logOption()}, "Invalid parameters.\n"},  {{"-d", "-l:"}, "Invalid parameters.\n"},
        {{"-n", "-j:4"}, "Invalid parameters.\n"}, {{"-j:300", "dir"}, "Invalid parameters.\n"},
    };
    for (const auto& [arguments, first] : cases) {
        const RunOutput result = patchtree.run(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, first + help.str());
    }
    EXPECT_FALSE(fs::exists(logs));
    EXPECT_FALSE(fs::exists(patchtree.home() / "Brambleco"));
}

// The log goes into the folder of the last option, with or without a separator, its missing
// last level created (never beside it), and is named after the local time of the run, with no
// leading zero in the day. (The default folder is the system's: see PatchtreePosixTest.cpp.)
TEST_F(PatchtreeCommandLineTest, LogFolderOptionLogFileNameAndUnusableFolders) {
    WriteFileBytes(tree / "a.ppt", "exit 2");
    fs::create_directory(scratch / "given");
    const auto before = boost::posix_time::second_clock::local_time();
    EXPECT_EQ(patchtree.run({logOption("given"), tree.u8string()}).exitCode, 0);
    const auto after = boost::posix_time::second_clock::local_time();
    EXPECT_EQ(LogLines(scratch / "given"), Expected({{"[ok]", tree / "a.ppt"}}));
    std::vector<std::string> names;
    for (auto moment = before; moment <= after; moment += boost::posix_time::seconds(1)) {
        names.push_back(LogFileNameAt(moment));
    }
    const std::string name = LogFiles(scratch / "given").at(0).filename().u8string();
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    EXPECT_EQ(LogFileNameAt({boost::gregorian::date(2008, 3, 7), {9, 5, 2}}),
              "2008-Mar-7-09-05-02.log");

    const std::string made = logOption("made") + Conventions().folderSeparator;
    EXPECT_EQ(patchtree.run({logOption("first"), made, tree.u8string()}).exitCode, 0);
    EXPECT_EQ(LogFiles(scratch / "made").size(), 1u);
    EXPECT_TRUE(LogFiles(scratch.path()).empty());
    EXPECT_FALSE(fs::exists(scratch / "first"));

    // A log folder that can't be made, or a file in its place (with or without a separator
    // after its name), is refused before anything is walked.
    const std::size_t calls = patchtree.childCalls().size();
    const std::string uncreatable = (scratch / "missing" / "logs").u8string();
    const RunOutput result = patchtree.run({"-l:" + uncreatable, tree.u8string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find(uncreatable), std::string::npos) << result.out;

    WriteFileBytes(scratch / "taken", "not a folder");
    const std::string taken = (scratch / "taken").u8string();
    for (const std::string& folder : {taken, taken + Conventions().folderSeparator}) {
        const RunOutput refused = patchtree.run({"-l:" + folder, tree.u8string()});
        EXPECT_EQ(refused.exitCode, 1) << folder;
        EXPECT_EQ(refused.out, "The log folder " + taken + " is a file, not a folder.\n");
    }
    EXPECT_EQ(patchtree.childCalls().size(), calls);
    EXPECT_EQ(ReadFileBytes(scratch / "taken"), "not a folder");
}

}  // namespace
