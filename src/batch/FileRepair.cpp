#include "batch/FileRepair.h"

#include <iostream>
#include <vector>

#include "batch/BackupNames.h"
#include "batch/CreatedFiles.h"
#include "batch/LogWriter.h"
#include "platform/Env.h"
#include "platform/SystemConventions.h"
#include "platform/TerminalText.h"

namespace {

constexpr int kRepairedStatus = 0;
constexpr int kNothingToRepairStatus = 2;

std::vector<bool> ExistingNames(const std::vector<std::string>& names) {
    std::vector<bool> exists;
    exists.reserve(names.size());
    for (const std::string& name : names) {
        exists.push_back(Env::Default().pathExists(std::filesystem::u8path(name)));
    }
    return exists;
}

RepairTally& Tally() {
    static RepairTally tally;
    return tally;
}

// Without this line a user sees only "[err], " lines in the log and nothing on the console.
void ReportStartError(const std::filesystem::path& program, int error) {
    static bool reported = false;
    if (reported) {
        return;
    }
    reported = true;
    std::cout.flush();
    std::cerr << "Patchtree: cannot start ";
    if (program.empty()) {
        std::cerr << Conventions().repairProgramName
                  << ": the folder of Patchtree itself is unknown";
    } else {
        std::cerr << StderrText('"' + program.u8string() +
                                "\": " + Env::Default().errorText(error));
    }
    std::cerr << std::endl;
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
    const std::filesystem::path program =
        folder.empty() ? std::filesystem::path() : folder / Conventions().repairProgramName;
    if (program.empty()) {
        result.startError = ProcessResult::kNoProgram;  // never a Patchdoc found elsewhere
    } else {
        std::cout.flush();  // the child writes to the same console
        result = Env::Default().runProcess(program, arguments);
    }
    if (result.startError != 0) {
        ReportStartError(program, result.startError);
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
    Tally().add(OutcomeOf(result));
}

void PassOver(PassedOver kind) {
    Tally().passOver(kind);
}

const RepairTally& RunTally() {
    return Tally();
}

RepairOutcome OutcomeOf(const ProcessResult& result) {
    if (result.startError != 0 || !result.exited) {
        return RepairOutcome::Failed;
    }
    switch (result.exitStatus) {
        case kRepairedStatus:
            return RepairOutcome::Fixed;
        case kNothingToRepairStatus:
            return RepairOutcome::Ok;
        default:
            return RepairOutcome::Failed;
    }
}

const char* ResultWord(const ProcessResult& result) {
    switch (OutcomeOf(result)) {
        case RepairOutcome::Fixed:
            return "[fixed], ";
        case RepairOutcome::Ok:
            return "[ok], ";
        case RepairOutcome::Failed:
            break;
    }
    return "[err], ";
}

void WriteResultLine(const std::string& path, const ProcessResult& result) {
    AppendLogLine(ResultWord(result) + path + "\n");
}
