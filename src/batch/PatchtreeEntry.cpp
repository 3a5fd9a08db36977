#include "batch/PatchtreeEntry.h"

#include <algorithm>
#include <boost/filesystem.hpp>
#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>
#include <iostream>
#include <locale>
#include <memory>

#include "batch/BatchArguments.h"
#include "batch/DirectoryWalk.h"
#include "batch/FileRepair.h"
#include "batch/HelpText.h"
#include "batch/LogFileName.h"
#include "batch/LogFolder.h"
#include "batch/LogWriter.h"
#include "batch/ParallelRun.h"
#include "batch/SequentialRun.h"
#include "platform/Env.h"
#include "platform/SystemConventions.h"
#include "platform/TerminalText.h"

namespace {

int RefuseArguments(const char* message) {
    std::cout << message << std::endl;
    PrintHelp(std::cout);
    return 1;
}

// Without "-j:" and "-n" one child at a time shares the console; otherwise the children's output
// is read through pipes, by as many children at once as "-j:" asks for.
std::unique_ptr<RepairRun> MakeRun(const BatchArguments& settings) {
    if (!settings.jobs && !settings.checkOnly) {
        return std::make_unique<SequentialRun>(settings.createBackup);
    }
    unsigned slots = settings.jobs.value_or(1);
    if (slots == 0) {
        slots = std::min(Env::Default().processorCount(), kMaxJobs);
    }
    return std::make_unique<ParallelRun>(RepairSettings{settings.createBackup, settings.checkOnly},
                                         slots);
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
    if (settings.folders.empty() || settings.invalidJobs) {
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
    const std::unique_ptr<RepairRun> run = MakeRun(settings);
    WalkDirectories(settings.folders, *run);
    run->finish();
    if (run->interrupted()) {
        std::cout.flush();
        std::cerr << "Patchtree: interrupted; no further file was started." << std::endl;
    }
    // Last on the console, once the last child has ended; a run that met no presentation name
    // prints nothing, as it writes no log.
    const RepairTally& tally = RunTally();
    if (tally.files() > 0 || tally.passedOver() > 0) {
        std::cout << StdoutText(tally.summaryLine(LogPath().u8string(),
                                                  settings.checkOnly ? "to repair" : "fixed"))
                  << std::endl;
    }
    return run->interrupted() ? 1 : 0;
}
