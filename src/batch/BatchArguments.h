#pragma once

#include <optional>
#include <string>
#include <vector>

// The run settings of Patchtree, read from its arguments (the program name left out).
struct BatchArguments {
    bool createBackup = true;
    // "-n": Patchdoc only examines each file and changes nothing.
    bool checkOnly = false;
    // "-j:N": up to N children at once, 0 standing for the number of processors. Without it, one
    // child at a time that shares the console.
    std::optional<unsigned> jobs;
    // A "-j:" whose number is not one of 0 to kMaxJobs.
    bool invalidJobs = false;
    // Empty, or the folder text of the last "-l:" option, ending with the path separator.
    std::string logFolder;
    // Every argument that is not an option, in order and as typed.
    std::vector<std::string> folders;
};

inline constexpr unsigned kMaxJobs = 256;

// Options are whole arguments: "-d" exactly turns backups off, "-n" exactly asks for a check
// only, an argument that starts with "-l:" names the log folder and one that starts with "-j:"
// the number of children at once ("-j:" alone is "-j:0"). Everything else is a folder, even when
// it holds "-d".
BatchArguments ParseBatchArguments(const std::vector<std::string>& arguments);
