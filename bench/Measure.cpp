// Runs a program and reports its wall time, CPU time and peak resident memory, taken from the
// kernel's accounting of the child (wait4), which takes in the descendants it waited for, and
// what it wrote: wchar, the bytes it passed to write calls (its result line included), and
// write_bytes, the bytes it sent towards storage, both from /proc/PID/io read while the ended
// child still waits to be reaped (-1 where the kernel keeps no such accounting).
//   measure PROGRAM [ARG...]
//       one run; prints "wall=<s> user=<s> sys=<s> maxrss_kib=<n> status=<n> wchar=<n>
//       write_bytes=<n>"
//   measure --each LIST PROGRAM [ARG...]
//       one run of PROGRAM ARG... FILE for each line FILE of LIST, one after another; prints the
//       sums of wall and CPU time, the largest peak memory, the run count and how many ended
//       with each status (0, 1, 2, other)
// The program's own output goes to /dev/null, so that the terminal is not measured.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Run {
    double wall = 0;
    double user = 0;
    double sys = 0;
    long maxrssKib = 0;
    int status = -1;
    long long wchar = -1;
    long long writeBytes = -1;
};

// The write accounting of an ended child that has not been reaped yet.
void readWriteAccounting(pid_t child, Run& run) {
    std::ifstream io("/proc/" + std::to_string(child) + "/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "wchar:") {
            run.wchar = value;
        } else if (key == "write_bytes:") {
            run.writeBytes = value;
        }
    }
}

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

Run runOnce(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return {};
    }
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execvp(argv[0], argv.data());
        std::perror(argv[0]);
        _exit(127);
    }
    Run run;
    siginfo_t ended{};
    if (waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT) == 0) {
        readWriteAccounting(child, run);
    }
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.user = seconds(usage.ru_utime);
    run.sys = seconds(usage.ru_stime);
    run.maxrssKib = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: measure [--each LIST] PROGRAM [ARG...]\n");
        return 1;
    }
    const bool each = std::string(argv[1]) == "--each";
    const int first = each ? 3 : 1;
    if (first >= argc) {
        std::fprintf(stderr, "usage: measure [--each LIST] PROGRAM [ARG...]\n");
        return 1;
    }
    const std::vector<std::string> command(argv + first, argv + argc);
    if (!each) {
        const Run r = runOnce(command);
        std::printf(
            "wall=%.4f user=%.4f sys=%.4f maxrss_kib=%ld status=%d wchar=%lld "
            "write_bytes=%lld\n",
            r.wall, r.user, r.sys, r.maxrssKib, r.status, r.wchar, r.writeBytes);
        return 0;
    }
    std::ifstream list(argv[2]);
    Run total;
    total.wchar = 0;
    total.writeBytes = 0;
    int runs = 0;
    int byStatus[4] = {};
    for (std::string file; std::getline(list, file);) {
        std::vector<std::string> withFile = command;
        withFile.push_back(file);
        const Run r = runOnce(withFile);
        total.wall += r.wall;
        total.user += r.user;
        total.sys += r.sys;
        total.maxrssKib = std::max(total.maxrssKib, r.maxrssKib);
        total.wchar += r.wchar;
        total.writeBytes += r.writeBytes;
        ++byStatus[r.status >= 0 && r.status < 3 ? r.status : 3];
        ++runs;
    }
    std::printf(
        "wall=%.4f user=%.4f sys=%.4f maxrss_kib=%ld runs=%d status0=%d status1=%d status2=%d "
        "other=%d wchar=%lld write_bytes=%lld\n",
        total.wall, total.user, total.sys, total.maxrssKib, runs, byStatus[0], byStatus[1],
        byStatus[2], byStatus[3], total.wchar, total.writeBytes);
    return 0;
}
