#include "batch/PatchtreeEntry.h"

#include <boost/filesystem.hpp>
#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>
#include <iostream>
#include <locale>

#include "batch/BatchArguments.h"
#include "batch/DirectoryWalk.h"
#include "batch/FileRepair.h"
#include "batch/HelpText.h"
#include "batch/LogFileName.h"
#include "batch/LogFolder.h"
#include "batch/LogWriter.h"
#include "platform/SystemConventions.h"
#include "platform/TerminalText.h"

namespace {

int RefuseArguments(const char* message) {
    std::cout << message << std::endl;
    PrintHelp(std::cout);
    return 1;
}

}  // namespace

int RunPatchtree(const std::vector<std::string>& arguments) {
    // Every text here is UTF-8; where the file-system library keeps paths as wide strings, it
    // converts them as UTF-8 too (the locale owns the facet).
    boost::filesystem::path::imbue(
        std::locale(std::locale(), new boost::filesystem::detail::utf8_codecvt_facet));
    if (arguments.empty()) {
        return RefuseArguments("Invalid number of arguments.");
    }
    const BatchArguments settings = ParseBatchArguments(arguments);
    if (settings.folders.empty()) {
        return RefuseArguments("Invalid parameters.");
    }
    const std::string logFolder =
        settings.logFolder.empty() ? DefaultLogFolder() : settings.logFolder;
    boost::system::error_code error;  // a failed test counts as a missing folder
    if (!boost::filesystem::exists(boost::filesystem::path(logFolder), error) &&
        !CreateLogFolder(logFolder)) {
        return 1;
    }
    SetLogPath(std::filesystem::u8path(logFolder + LogFileName()));
    WalkDirectories(settings.folders, settings.createBackup);
    // Last on the console, once the last child has ended; a run that met no presentation name
    // and passed over none prints nothing.
    const RepairTally& tally = RunTally();
    if (tally.files() > 0 || tally.passedOver() > 0) {
        std::cout << StdoutText(tally.summaryLine(LogPath().u8string())) << std::endl;
    }
    return 0;
}
