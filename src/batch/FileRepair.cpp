#include "batch/FileRepair.h"

#include <cerrno>
#include <iostream>
#include <vector>

#include "batch/BackupNames.h"
#include "batch/BatchPlatform.h"
#include "batch/CreatedFiles.h"
#include "batch/LogWriter.h"
#include "platform/Env.h"

namespace {

constexpr int kRepairedStatus = 0;
constexpr int kNothingToRepairStatus = 2;

std::vector<bool> ExistingNames(const std::vector<std::string>& names) {
    std::vector<bool> exists;
    exists.reserve(names.size());
    for (const std::string& name : names) {
        exists.push_back(Env::Default().pathExists(name));
    }
    return exists;
}

}  // namespace

std::filesystem::path ModuleFolder() {
    return Env::Default().executablePath().parent_path();
}

void RepairOneFile(const std::string& path, bool createBackup, CreatedFiles& created) {
    std::vector<std::string> arguments;
    if (!createBackup) {
        arguments.emplace_back("-d");
    }
    arguments.push_back(path);

    // Which backup names are taken now tells afterwards which one this repair created.
    const std::vector<std::string> backupNames =
        createBackup ? BackupNameCandidates(path) : std::vector<std::string>();
    const std::vector<bool> takenBefore = ExistingNames(backupNames);

    ProcessResult result;
    const std::filesystem::path folder = ModuleFolder();
    if (folder.empty()) {
        result.startError = ENOENT;  // never fall back to a Patchdoc found elsewhere
    } else {
        std::cout.flush();  // the child writes to the same console
        result = Env::Default().runProcess(folder / kChildProgramName, arguments);
    }

    if (result.exited && result.exitStatus == kRepairedStatus) {
        const std::vector<bool> takenAfter = ExistingNames(backupNames);
        for (std::size_t i = 0; i < backupNames.size(); ++i) {
            if (takenAfter[i] && !takenBefore[i]) {
                created.add(backupNames[i]);
            }
        }
    }
    WriteResultLine(path, result);
}

const char* ResultWord(const ProcessResult& result) {
    if (result.startError != 0 || !result.exited) {
        return "[err], ";
    }
    switch (result.exitStatus) {
        case kRepairedStatus:
            return "[fixed], ";
        case kNothingToRepairStatus:
            return "[ok], ";
        default:
            return "[err], ";
    }
}

void WriteResultLine(const std::string& path, const ProcessResult& result) {
    AppendLogLine(ResultWord(result) + path + "\n");
}
