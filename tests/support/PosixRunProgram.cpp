#include "support/RunProgram.h"

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include "ScratchFolder.h"

extern char** environ;

namespace fixtures {

namespace {

constexpr uid_t kUnprivilegedId = 65534;
constexpr int kSetupFailed = 125;

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& e) {
            return e.compare(0, name.size(), name) == 0;
        });
        if (!replaced) {
            merged.push_back(text);
        }
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// In the forked child: everything up to exec, using only async-signal-safe calls.
[[noreturn]] void StartChild(const char* program, char** argv, char** envp, const char* folder,
                             int in, int out, int err, bool unprivileged, bool ownGroup) {
    if (::signal(SIGPIPE, SIG_DFL) == SIG_ERR || (ownGroup && ::setpgid(0, 0) != 0) ||
        (folder[0] != '\0' && ::chdir(folder) != 0) || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0) {
        ::_exit(kSetupFailed);
    }
    if (unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
         ::setuid(kUnprivilegedId) != 0)) {
        ::_exit(kSetupFailed);
    }
    ::execve(program, argv, envp);
    ::_exit(kSetupFailed);
}

// The descriptor the child's standard output goes to, and (for a terminal) the one this process
// reads it from; -1 where there is none.
struct OutputEnds {
    int childEnd = -1;
    int readEnd = -1;
};

OutputEnds OpenOutput(StandardOutput kind, const std::filesystem::path& file) {
    OutputEnds ends;
    switch (kind) {
        case StandardOutput::File:
            ends.childEnd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            break;
        case StandardOutput::Terminal: {
            struct termios raw {};
            ::cfmakeraw(&raw);  // no CR before each LF: the bytes arrive as written
            if (::openpty(&ends.readEnd, &ends.childEnd, nullptr, &raw, nullptr) == 0) {
                ::fcntl(ends.readEnd, F_SETFD, FD_CLOEXEC);
                ::fcntl(ends.childEnd, F_SETFD, FD_CLOEXEC);
            }
            break;
        }
        case StandardOutput::ClosedPipe: {
            int ends2[2];
            if (::pipe2(ends2, O_CLOEXEC) == 0) {
                ::close(ends2[0]);
                ends.childEnd = ends2[1];
            }
            break;
        }
    }
    return ends;
}

// Everything the terminal gets until the last holder of its other end has closed it.
std::string ReadTerminal(int readEnd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(readEnd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            return text;  // EIO once no process holds the terminal any more
        }
    }
}

}  // namespace

RunOutput Run(const std::filesystem::path& program, const std::vector<std::string>& arguments,
              const RunOptions& options) {
    ScratchFolder io;
    const std::filesystem::path outPath = io / "out";
    const std::filesystem::path errPath = io / "err";
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const OutputEnds output = OpenOutput(options.standardOutput, outPath);
    const int out = output.childEnd;
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);

    std::vector<std::string> argvStrings{program.string()};
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envStrings = MergedEnvironment(options.environment);
    std::vector<char*> argv = Pointers(argvStrings);
    std::vector<char*> envp = Pointers(envStrings);
    const std::string folder = options.workingFolder.string();

    const pid_t pid = ::fork();
    if (pid == 0) {
        StartChild(program.c_str(), argv.data(), envp.data(), folder.c_str(), in, out, err,
                   options.unprivileged, static_cast<bool>(options.interruptWhen));
    }
    ::close(in);
    ::close(out);
    ::close(err);
    RunOutput result;
    if (output.readEnd >= 0) {
        result.out = ReadTerminal(output.readEnd);
        ::close(output.readEnd);
    }
    int status = 0;
    if (pid > 0 && options.interruptWhen) {
        bool sent = false;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (!sent && options.interruptWhen()) {
                ::kill(-pid, SIGINT);
                sent = true;
            }
            ::usleep(10000);
        }
    } else {
        while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    result.exitCode = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (options.standardOutput == StandardOutput::File) {
        result.out = ReadFileBytes(outPath);
    }
    result.err = ReadFileBytes(errPath);
    return result;
}

std::string WithLineFeeds(std::string text) {
    return text;  // "\n" already
}

}  // namespace fixtures
