#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace fixtures {

struct RunOptions {
    std::filesystem::path workingFolder;   // empty: the caller's own
    std::vector<std::string> environment;  // extra or replaced "NAME=value" entries
    bool unprivileged = false;             // run as user and group 65534 when we are root
};

struct RunOutput {
    int exitCode = -1;  // -1 when the program ended by a signal, 125 when it could not start
    std::string out;
    std::string err;
};

// Runs a program directly (no command interpreter), with standard input from /dev/null, and
// collects what it writes to standard output and error.
RunOutput Run(const std::filesystem::path& program, const std::vector<std::string>& arguments,
              const RunOptions& options = {});

}  // namespace fixtures
