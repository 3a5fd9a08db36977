#include "repairtool/RunPatchdoc.h"

#include <filesystem>

#include "repairtool/CheckInputFile.h"
#include "repairtool/PrintUsage.h"
#include "repairtool/ProcessFile.h"

namespace {
constexpr const char* kNoBackupOption = "-d";
constexpr const char* kCheckOnlyOption = "-n";
}  // namespace

int RunPatchdoc(const std::vector<std::string>& arguments, std::ostream& out) {
    bool createBackup = true;
    bool checkOnly = false;
    std::string fileToRepair;
    std::size_t paths = 0;
    for (const std::string& argument : arguments) {
        if (argument == kNoBackupOption) {
            createBackup = false;
        } else if (argument == kCheckOnlyOption) {
            checkOnly = true;
        } else {
            fileToRepair = argument;
            ++paths;
        }
    }
    // A third argument is taken only beside "-n": without it the rules are those of "-d" alone.
    if (arguments.empty() || arguments.size() > (checkOnly ? 3u : 2u)) {
        out << "Invalid number of arguments.\n";
        PrintUsage(out);
        return 1;
    }
    if (paths > 1) {
        out << "The arguments are invalid.\n";
        PrintUsage(out);
        return 1;
    }
    const std::filesystem::path file = std::filesystem::u8path(fileToRepair);
    if (!CheckInputFile(file, out)) {
        return 1;
    }
    switch (checkOnly ? CheckFile(file, out) : ProcessFile(file, createBackup, out)) {
        case 0:
            return 0;
        case 1:
            return 2;
        default:
            return 1;
    }
}
