#include "repairtool/RunPatchdoc.h"

#include <filesystem>

#include "repairtool/CheckInputFile.h"
#include "repairtool/PrintUsage.h"
#include "repairtool/ProcessFile.h"

namespace {
constexpr const char* kNoBackupOption = "-d";
}  // namespace

int RunPatchdoc(const std::vector<std::string>& arguments, std::ostream& out) {
    if (arguments.empty() || arguments.size() > 2) {
        out << "Invalid number of arguments.\n";
        PrintUsage(out);
        return 1;
    }
    bool createBackup = true;
    std::string fileToRepair;
    for (const std::string& argument : arguments) {
        if (argument == kNoBackupOption) {
            createBackup = false;
        } else {
            fileToRepair = argument;
        }
    }
    if (arguments.size() == 2 && createBackup) {
        out << "The arguments are invalid.\n";
        PrintUsage(out);
        return 1;
    }
    const std::filesystem::path file = std::filesystem::u8path(fileToRepair);
    if (!CheckInputFile(file, out)) {
        return 1;
    }
    switch (ProcessFile(file, createBackup, out)) {
        case 0:
            return 0;
        case 1:
            return 2;
        default:
            return 1;
    }
}
