#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fixtures {

// Where the program's standard output goes: a file that is read afterwards, a terminal (a
// pseudo-terminal in raw mode, read as the program writes), or a pipe whose reading end is
// already closed, as when the reader of a pipeline has gone away.
enum class StandardOutput { File, Terminal, ClosedPipe };

struct RunOptions {
    std::filesystem::path workingFolder;   // empty: the caller's own
    std::vector<std::string> environment;  // extra or replaced "NAME=value" entries
    bool unprivileged = false;             // run as user and group 65534 when we are root
    StandardOutput standardOutput = StandardOutput::File;
    // When set, the program runs in a process group of its own, and the first time this returns
    // true while it runs (asked every 10 ms) the group gets SIGINT, as from Ctrl-C on a terminal.
    std::function<bool()> interruptWhen;
};

struct RunOutput {
    int exitCode = -1;  // -1 when the program ended by a signal, 125 when it could not start
    std::string out;
    std::string err;
};

// Runs a program directly (no command interpreter), with standard input from /dev/null, and
// collects what it writes to standard output and error. The program starts with the default
// action for SIGPIPE, whatever the caller's is.
RunOutput Run(const std::filesystem::path& program, const std::vector<std::string>& arguments,
              const RunOptions& options = {});

// Program output with the system's line end for text written to files and pipes (CR LF on
// Windows) turned into "\n", so that expectations hold on every system.
std::string WithLineFeeds(std::string text);

}  // namespace fixtures
