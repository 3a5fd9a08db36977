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

using ::ScratchFolder;
using fixtures::RunOptions;
using fixtures::RunOutput;

// Runs a program as fixtures::Run does, with every line of its output ended by "\n".
RunOutput Run(const fs::path& program, const std::vector<std::string>& arguments,
              const RunOptions& options = {});

// A path as Patchtree shows it in the log and hands it to Patchdoc: where backslashes separate
// folders, each one becomes "/".
std::string Shown(const fs::path& path);

// Which program sits beside the copy of Patchtree under the name of Patchdoc. A child that is
// not executable is a text file without permission to run it.
enum class Child { StandIn, RealPatchdoc, Missing, NotExecutable };

// A copy of Patchtree in a folder of its own, beside a child program, with the environment the
// tests run it in: HOME points into the scratch folder, and the stand-in child records its
// arguments in a file of the scratch folder.
class Installation {
public:
    Installation(const ScratchFolder& scratch, Child child);

    RunOutput run(const std::vector<std::string>& arguments, RunOptions options = {}) const;

    // The argument lists the stand-in child received, one list per run of it.
    std::vector<std::vector<std::string>> childCalls() const;

    // The files the stand-in child was given (the last argument of each call), in order.
    std::vector<std::string> childFiles() const;

    const fs::path& home() const { return home_; }
    const fs::path& childPath() const { return childPath_; }

private:
    fs::path program_;
    fs::path childPath_;
    fs::path home_;
    fs::path record_;
};

// A scratch folder holding a copy of Patchtree with the stand-in child beside it, and an empty
// folder "tree" to walk.
class PatchtreeTest : public ::testing::Test {
protected:
    PatchtreeTest() : patchtree(scratch, Child::StandIn) { fs::create_directory(tree); }

    // The option that puts the log into the folder "logs" of the scratch folder.
    std::string logOption() const { return "-l:" + logs.u8string(); }

    ScratchFolder scratch;
    Installation patchtree;
    const fs::path tree = scratch / "tree";
    const fs::path logs = scratch / "logs";
};

void WriteFile(const fs::path& path, const std::string& content);
std::string ReadFile(const fs::path& path);

// The .log files directly inside a folder.
std::vector<fs::path> LogFiles(const fs::path& folder);

// The text of the folder's one log file, after checking its byte-order mark, as UTF-8 (decoded
// by the system's converter, not by our own code). Line ends stay CR LF.
std::string ReadLogText(const fs::path& folder);

// The text split at each CR LF, which ends every line.
std::vector<std::string> SplitLines(const std::string& text);

// Standard output without the summary line that ends a run which met a presentation; fails the
// test when the text has no such last line.
std::string WithoutSummary(const std::string& out);

// The last line of standard output, the summary, without its log path.
std::string SummaryCounts(const std::string& out);

std::vector<std::string> Sorted(std::vector<std::string> items);

// Runs Patchtree with `child` over files with the given names, which a command interpreter would
// act on, and checks that the log has one line per file, starting with `word`, with its exact
// path, and that no command ran. With the stand-in child, also that each path reached it byte
// for byte as one argument.
void CheckHostileNames(Child child, const char* word, const std::vector<std::string>& names);

}  // namespace batchtest
