#pragma once

#include <filesystem>
#include <string>

#include "platform/ProcessResult.h"

class CreatedFiles;

// The folder of the running Patchtree program; empty when it can't be found.
std::filesystem::path ModuleFolder();

// Runs Patchdoc from ModuleFolder() on one file, with no command interpreter in between: its
// arguments are "-d" when backups are off, then the path, byte for byte. Waits for it and logs
// the outcome. A backup copy that the repair made is added to `created`.
void RepairOneFile(const std::string& path, bool createBackup, CreatedFiles& created);

// The log's result word for how the child ended: "[fixed], " for exit status 0, "[ok], " for
// 2, "[err], " for any other status, a child that could not be started or one ended by a
// signal.
const char* ResultWord(const ProcessResult& result);

// Appends the result word, the path and a line feed to the log.
void WriteResultLine(const std::string& path, const ProcessResult& result);
