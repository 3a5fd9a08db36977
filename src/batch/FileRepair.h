#pragma once

#include <filesystem>
#include <string>

#include "batch/RepairTally.h"
#include "platform/ProcessResult.h"

class CreatedFiles;

// The folder of the running Patchtree program; empty when it can't be found.
std::filesystem::path ModuleFolder();

// Runs Patchdoc from ModuleFolder() on one file, with no command interpreter in between: its
// arguments are "-d" when backups are off, then the path, byte for byte. Waits for it and logs
// the outcome. A backup copy that the repair made is added to `created`. The outcome is counted
// in RunTally(). The first time in the process that Patchdoc can't be started, one line on
// standard error names the program path tried and the system's reason; the file is logged as
// an error like any other failure.
void RepairOneFile(const std::string& path, bool createBackup, CreatedFiles& created);

// Counts, in RunTally(), an entry the walk passed over instead of repairing it.
void PassOver(PassedOver kind);

// The outcomes of every RepairOneFile call of this process.
const RepairTally& RunTally();

// Fixed for exit status 0, Ok for 2, Failed for any other status, a child that could not be
// started or one ended by a signal.
RepairOutcome OutcomeOf(const ProcessResult& result);

// The log's result word for how the child ended: "[fixed], ", "[ok], " or "[err], " as
// OutcomeOf() tells.
const char* ResultWord(const ProcessResult& result);

// Appends the result word, the path and a line feed to the log.
void WriteResultLine(const std::string& path, const ProcessResult& result);
