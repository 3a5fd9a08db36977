#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "support/RunProgram.h"

// Helpers for running copies of Patchtree on trees built in a scratch folder.
namespace batchtest {

namespace fs = std::filesystem;

using fixtures::RunOptions;
using fixtures::RunOutput;

// Runs a program as fixtures::Run does, with every line of its output ended by "\n".
RunOutput Run(const fs::path& program, const std::vector<std::string>& arguments,
              const RunOptions& options = {});

// A path as Patchtree logs it and hands it on: backslashes that separate folders become "/".
std::string Shown(const fs::path& path);

// What sits beside the copy of Patchtree under Patchdoc's name; NotExecutable is a text file.
enum class Child { StandIn, Missing, NotExecutable };

// A copy of Patchtree in a folder of its own beside a child program. Its runs get a HOME in the
// scratch folder, and the stand-in child records its arguments in a file there.
class Installation {
public:
    Installation(const ScratchFolder& scratch, Child child);

    RunOutput run(const std::vector<std::string>& arguments, RunOptions options = {}) const;

    // The argument lists the stand-in child received, one list per run of it.
    std::vector<std::vector<std::string>> childCalls() const;
    // The last argument of each call, in order.
    std::vector<std::string> childFiles() const;

    const fs::path& home() const { return home_; }
    const fs::path& childPath() const { return childPath_; }

private:
    fs::path program_;
    fs::path childPath_;
    fs::path home_;
    fs::path record_;
};

// A copy of Patchtree with the stand-in child, and an empty folder "tree" to walk.
class PatchtreeTest : public ::testing::Test {
protected:
    PatchtreeTest() : patchtree(scratch, Child::StandIn) { fs::create_directory(tree); }

    // The option that puts the log into `folder` of the scratch folder.
    std::string logOption(const std::string& folder = "logs") const {
        return "-l:" + (scratch / folder).u8string();
    }

    // Runs Patchtree over files of these names, which a command interpreter would act on, and
    // checks that each path reached the child byte for byte as one argument, that the log has
    // one line per file with its exact path, and that no command ran.
    void checkHostileNames(const std::vector<std::string>& names);

    ScratchFolder scratch;
    Installation patchtree;
    const fs::path tree = scratch / "tree";
    const fs::path logs = scratch / "logs";
};

// The .log files directly inside a folder.
std::vector<fs::path> LogFiles(const fs::path& folder);

// The lines of the folder's one log file, sorted, after checking its byte-order mark and that
// CR LF ends every line; decoded by the system's converter, not by our own code.
std::vector<std::string> LogLines(const fs::path& folder);

// Each "word" followed by its path as Shown, sorted: the log lines a run should give.
std::vector<std::string> Expected(const std::vector<std::pair<std::string, fs::path>>& lines);

// The lines of a program's output, without their line feeds.
std::vector<std::string> OutLines(const std::string& out);

// The last line of standard output, the summary, without its log path.
std::string SummaryCounts(const std::string& out);

std::vector<std::string> Sorted(std::vector<std::string> items);

}  // namespace batchtest
