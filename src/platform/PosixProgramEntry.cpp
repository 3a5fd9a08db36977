#include <sys/resource.h>

#include <algorithm>
#include <csignal>

#include "platform/ProgramEntry.h"

int EnterProgram(int argc, char** argv, ProgramBody body) {
    std::signal(SIGPIPE, SIG_IGN);
    // Files are held open for as long as they are used (never reopened by name), so a
    // presentation with many embedded presentations, or a deep tree, holds many descriptors at
    // once.
    struct rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 1 << 16);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return body(arguments);
}
