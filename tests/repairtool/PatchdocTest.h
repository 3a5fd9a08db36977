#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "support/RunProgram.h"
#include "support/TestSystem.h"

namespace patchdoctest {

namespace fs = std::filesystem;
using fixtures::RunOutput;

const std::string kNotPowerPoint =
    "The selected file is not a PowerPoint 97-2003 PPT file. This tool can only repair PPT "
    "files.";

class PatchdocTest : public ::testing::Test {
protected:
    // Runs Patchdoc with the temporary folder `tmpdir`, by default the test's own; its output
    // with "\n" line ends.
    RunOutput run(const std::vector<std::string>& arguments, std::string tmpdir = {},
                  fixtures::StandardOutput output = fixtures::StandardOutput::File) {
        fixtures::RunOptions options;
        options.standardOutput = output;
        options.unprivileged = unprivileged_;
        options.environment = {std::string(fixtures::kTempFolderVariable) + "=" +
                               (tmpdir.empty() ? temp_.path().u8string() : tmpdir)};
        RunOutput result = fixtures::Run(PATCHDOC_PATH, arguments, options);
        result.out = fixtures::WithLineFeeds(result.out);
        return result;
    }

    // A file that is not a presentation, in a folder of its own.
    fs::path notAPresentation(const std::string& folder, const std::string& name) {
        fs::create_directories(scratch_ / folder);
        const fs::path path = scratch_ / folder / name;
        WriteFileBytes(path, "This is not a presentation.\n");
        return path;
    }

    ScratchFolder scratch_;
    ScratchFolder temp_;         // the program's temporary folder
    bool unprivileged_ = false;  // run as user and group 65534 when the tests run as root
};

}  // namespace patchdoctest
