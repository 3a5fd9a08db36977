#include "batch/FileRepair.h"

#include <iostream>
#include <vector>

#include "batch/BackupWatch.h"
#include "batch/CreatedFiles.h"
#include "batch/LogWriter.h"
#include "platform/Env.h"
#include "platform/SystemConventions.h"
#include "platform/TerminalText.h"

namespace {

constexpr int kRepairedStatus = 0;
constexpr int kNothingToRepairStatus = 2;

RepairTally& Tally() {
    static RepairTally tally;
    return tally;
}

// The word Patchdoc -n printed for a file it would repair: "[flattened N], ".
std::string CheckWord(const std::string& firstLine) {
    static const std::string kStart = "[flattened ";
    const std::size_t end = firstLine.find("], ");
    if (firstLine.compare(0, kStart.size(), kStart) != 0 || end == std::string::npos ||
        end == kStart.size() || firstLine.find_first_not_of("0123456789", kStart.size()) != end) {
        return "[flattened], ";
    }
    return firstLine.substr(0, end + 3);
}

}  // namespace

std::filesystem::path ModuleFolder() {
    return Env::Default().executablePath().parent_path();
}

std::filesystem::path PatchdocProgram() {
    const std::filesystem::path folder = ModuleFolder();
    return folder.empty() ? std::filesystem::path() : folder / Conventions().repairProgramName;
}

std::vector<std::string> PatchdocArguments(const std::string& path,
                                           const RepairSettings& settings) {
    std::vector<std::string> arguments;
    if (settings.checkOnly) {
        arguments.emplace_back("-n");
    } else if (!settings.createBackup) {
        arguments.emplace_back("-d");
    }
    arguments.push_back(path);
    return arguments;
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

void RepairOneFile(const std::string& path, bool createBackup, CreatedFiles& created) {
    const std::vector<std::string> arguments = PatchdocArguments(path, {createBackup, false});
    const BackupWatch backups(path, createBackup);
    ProcessResult result;
    const std::filesystem::path program = PatchdocProgram();
    if (program.empty()) {
        result.startError = ProcessResult::kNoProgram;  // never a Patchdoc found elsewhere
    } else {
        std::cout.flush();  // the child writes to the same console
        result = Env::Default().runProcess(program, arguments);
    }
    if (result.startError != 0) {
        ReportStartError(program, result.startError);
    }

    backups.noteCreated(result, created);
    LogOutcome(path, result, false, std::string());
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

void LogOutcome(const std::string& path, const ProcessResult& result, bool checkOnly,
                const std::string& firstLine) {
    const RepairOutcome outcome = OutcomeOf(result);
    if (checkOnly && outcome == RepairOutcome::Fixed) {
        AppendLogLine(CheckWord(firstLine) + path + "\n");
    } else {
        WriteResultLine(path, result);
    }
    Tally().add(outcome);
}
