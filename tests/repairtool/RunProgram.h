#pragma once

#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ScratchFolder.h"

extern char** environ;

struct ProgramRun {
    int exitCode = -1;   // -1 when the program did not end normally
    std::string output;  // what it wrote to standard output
};

// Runs `program` with `arguments` and, when `tmpdir` is not empty, TMPDIR set to it; captures
// its standard output.
inline ProgramRun RunProgram(const std::filesystem::path& program,
                             const std::vector<std::string>& arguments,
                             const std::string& tmpdir = std::string()) {
    ScratchFolder capture;
    const std::string outputPath = (capture / "stdout").string();
    std::vector<std::string> strings{program.string()};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : strings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (tmpdir.empty() || std::string(*variable).rfind("TMPDIR=", 0) != 0) {
            environment.emplace_back(*variable);
        }
    }
    if (!tmpdir.empty()) {
        environment.push_back("TMPDIR=" + tmpdir);
    }
    std::vector<char*> envp;
    for (std::string& s : environment) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);

    ProgramRun run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int error =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        return run;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    }
    run.output = ReadFileBytes(outputPath);
    return run;
}
