#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "repairtool/RunPatchdoc.h"

int main(int argc, char** argv) {
    // A console that went away (the reader of a pipe ended) must not end the run between the
    // repair and its result: writes to it then fail quietly and the outcome stays the same.
    std::signal(SIGPIPE, SIG_IGN);
    // Temporary files are held open for as long as they are used (never reopened by name), so a
    // presentation with many embedded presentations holds many descriptors at once.
    struct rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 1 << 16);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return RunPatchdoc(arguments, std::cout);
}
