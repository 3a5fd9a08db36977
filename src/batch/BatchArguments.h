#pragma once

#include <string>
#include <vector>

// The run settings of Patchtree, read from its arguments (the program name left out).
struct BatchArguments {
    bool createBackup = true;
    // Empty, or the folder text of the last "-l:" option, ending with the path separator.
    std::string logFolder;
    // Every argument that is not an option, in order and as typed.
    std::vector<std::string> folders;
};

// Options are whole arguments: "-d" exactly turns backups off, and an argument that starts
// with "-l:" names the log folder. Everything else is a folder, even when it holds "-d".
BatchArguments ParseBatchArguments(const std::vector<std::string>& arguments);
