#pragma once

#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ProcessResult.h"

// What the two ways of starting children on POSIX share.
namespace posixspawn {

// The argument strings of a child, the program's path first, as posix_spawn takes them; the
// pointers point into `strings`, which must outlive them.
inline std::vector<char*> ArgumentVector(const std::filesystem::path& program,
                                         const std::vector<std::string>& arguments,
                                         std::vector<std::string>* strings) {
    strings->assign(1, program.string());
    strings->insert(strings->end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : *strings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    return argv;
}

// How a child ended, from the status waitpid gave.
inline ProcessResult ResultOf(int status) {
    ProcessResult result;
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

}  // namespace posixspawn
