#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "batch/RepairTally.h"
#include "platform/ProcessResult.h"

class CreatedFiles;

// How every file of a run is handed to Patchdoc.
struct RepairSettings {
    bool createBackup = true;
    bool checkOnly = false;  // Patchdoc -n: examine only
};

// The folder of the running Patchtree program; empty when it can't be found.
std::filesystem::path ModuleFolder();

// The Patchdoc beside Patchtree; empty when Patchtree's own folder is unknown.
std::filesystem::path PatchdocProgram();

// Patchdoc's arguments for one file: "-n" for a check, else "-d" when backups are off; then the
// path, byte for byte.
std::vector<std::string> PatchdocArguments(const std::string& path, const RepairSettings& settings);

// The first time in the process that Patchdoc can't be started, one line on standard error names
// the program path tried and the system's reason; later calls print nothing.
void ReportStartError(const std::filesystem::path& program, int error);

// Runs Patchdoc from ModuleFolder() on one file, with no command interpreter in between, sharing
// the console. Waits for it and logs the outcome. A backup copy that the repair made is added to
// `created`. The outcome is counted in RunTally(). A Patchdoc that can't be started is reported
// by ReportStartError; the file is logged as an error like any other failure.
void RepairOneFile(const std::string& path, bool createBackup, CreatedFiles& created);

// Counts, in RunTally(), an entry the walk passed over instead of repairing it.
void PassOver(PassedOver kind);

// The outcomes of every file logged by LogOutcome in this process.
const RepairTally& RunTally();

// Fixed for exit status 0, Ok for 2, Failed for any other status, a child that could not be
// started or one ended by a signal.
RepairOutcome OutcomeOf(const ProcessResult& result);

// The log's result word for how the child ended: "[fixed], ", "[ok], " or "[err], " as
// OutcomeOf() tells.
const char* ResultWord(const ProcessResult& result);

// Appends the result word, the path and a line feed to the log.
void WriteResultLine(const std::string& path, const ProcessResult& result);

// Logs one file and counts its outcome in RunTally(). For a check (Patchdoc -n) that found
// something to repair the word is the one Patchdoc printed first, "[flattened N], " (with
// `firstLine` its first line of output), or "[flattened], " when it printed none.
void LogOutcome(const std::string& path, const ProcessResult& result, bool checkOnly,
                const std::string& firstLine);
