#include "platform/PosixChildProcesses.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/PosixFileDescriptor.h"
#include "platform/PosixSpawn.h"

extern char** environ;

namespace {

// Written by the signal handlers, read by the one ChildProcesses object that installed them.
volatile sig_atomic_t gInterrupted = 0;
int gWakeFd = -1;

void Wake(int signal) {
    const int saved = errno;
    if (signal == SIGINT) {
        gInterrupted = 1;
    }
    const char byte = 0;
    (void)!::write(gWakeFd, &byte, 1);
    errno = saved;
}

class PosixChildProcesses : public ChildProcesses {
public:
    PosixChildProcesses() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            wakeRead_ = PosixFileDescriptor(fds[0]);
            wakeWrite_ = PosixFileDescriptor(fds[1]);
        }
        gWakeFd = wakeWrite_.get();
        gInterrupted = 0;
        struct sigaction action {};
        action.sa_handler = Wake;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &oldInterrupt_);
        action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
        ::sigaction(SIGCHLD, &action, &oldChild_);
    }

    ~PosixChildProcesses() override {
        std::vector<Event> events;
        while (running() > 0) {
            wait(&events);
            events.clear();
        }
        ::sigaction(SIGINT, &oldInterrupt_, nullptr);
        ::sigaction(SIGCHLD, &oldChild_, nullptr);
        gWakeFd = -1;
    }

    int start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
              Id* child) override {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return errno;
        }
        PosixFileDescriptor readEnd(fds[0]);
        PosixFileDescriptor writeEnd(fds[1]);
        std::vector<std::string> strings;
        std::vector<char*> argv = posixspawn::ArgumentVector(program, arguments, &strings);

        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
        ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        ::posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 1);
        // A process group of its own: the terminal sends SIGINT to its foreground group only.
        ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        ::posix_spawnattr_setpgroup(&attributes, 0);
        pid_t pid = 0;
        const int error =
            ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
        ::posix_spawnattr_destroy(&attributes);
        ::posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            return error;
        }
        writeEnd.reset();
        ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
        *child = ++lastId_;
        children_.push_back(Child{*child, pid, std::move(readEnd)});
        return 0;
    }

    void wait(std::vector<Event>* events) override {
        while (!children_.empty()) {
            const std::size_t before = events->size();
            collect(events);
            if (events->size() > before) {
                return;
            }
            if (gInterrupted != 0 && !interruptReported_) {
                interruptReported_ = true;
                return;
            }
            std::vector<pollfd> watched{{wakeRead_.get(), POLLIN, 0}};
            for (const Child& child : children_) {
                if (child.output.valid()) {
                    watched.push_back({child.output.get(), POLLIN, 0});
                }
            }
            ::poll(watched.data(), watched.size(), -1);  // EINTR: look again
            char drain[64];
            while (::read(wakeRead_.get(), drain, sizeof drain) > 0) {
            }
        }
    }

    std::size_t running() const override { return children_.size(); }

    bool interrupted() const override { return gInterrupted != 0; }

private:
    struct Child {
        Id id;
        pid_t pid;
        PosixFileDescriptor output;  // invalid once the pipe has reached its end
        bool exited = false;
        int status = 0;
    };

    // Reads what every child has written and reaps those that have ended; a child is reported
    // ended once its pipe is at its end and it has exited.
    void collect(std::vector<Event>* events) {
        for (auto it = children_.begin(); it != children_.end();) {
            Child& child = *it;
            std::string output;
            while (child.output.valid()) {
                char buffer[65536];
                const ssize_t got = ::read(child.output.get(), buffer, sizeof buffer);
                if (got > 0) {
                    output.append(buffer, static_cast<std::size_t>(got));
                } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                    child.output.reset();
                } else if (errno == EAGAIN) {
                    break;
                }
            }
            if (!child.exited) {
                int status = 0;
                const pid_t reaped = ::waitpid(child.pid, &status, WNOHANG);
                if (reaped == child.pid || (reaped < 0 && errno == ECHILD)) {
                    child.exited = true;
                    child.status = reaped == child.pid ? status : -1;
                }
            }
            const bool ended = child.exited && !child.output.valid();
            if (!output.empty() || ended) {
                Event event;
                event.child = child.id;
                event.output = std::move(output);
                event.ended = ended;
                if (ended) {
                    event.result = posixspawn::ResultOf(child.status);
                }
                events->push_back(std::move(event));
            }
            it = ended ? children_.erase(it) : it + 1;
        }
    }

    PosixFileDescriptor wakeRead_;
    PosixFileDescriptor wakeWrite_;
    struct sigaction oldInterrupt_ {};
    struct sigaction oldChild_ {};
    std::vector<Child> children_;
    Id lastId_ = 0;
    bool interruptReported_ = false;
};

}  // namespace

std::unique_ptr<ChildProcesses> NewPosixChildProcesses() {
    return std::make_unique<PosixChildProcesses>();
}
