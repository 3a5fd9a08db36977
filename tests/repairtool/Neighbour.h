#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

// Another user of a shared folder, acting at a moment set by the file system's own events, not
// by time: a process of its own (user and group 65534 when the test runs as root, unless told
// otherwise) that watches `watched` with inotify and calls `act` with the name of every event of
// `mask` (empty for an event of `watched` itself) until `act` returns true. It is watching when
// the constructor returns.
class Neighbour {
public:
    Neighbour(const std::filesystem::path& watched, std::uint32_t mask,
              const std::function<bool(const std::string&)>& act, bool otherUser = true) {
        int ready[2];
        int done[2];
        if (::pipe(ready) != 0 || ::pipe(done) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            if (otherUser && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                ::_exit(3);
            }
            const int fd = ::inotify_init1(IN_CLOEXEC);
            if (fd < 0 || ::inotify_add_watch(fd, watched.c_str(), mask) < 0) {
                ::_exit(4);
            }
            (void)!::write(ready[1], "r", 1);
            alignas(inotify_event) char buffer[4096];
            for (;;) {
                const ssize_t got = ::read(fd, buffer, sizeof buffer);
                for (ssize_t at = 0; at < got;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                    if (act(event->len > 0 ? event->name : "")) {
                        (void)!::write(done[1], "d", 1);
                        ::_exit(0);
                    }
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
            }
        }
        ::close(ready[1]);
        ::close(done[1]);
        char byte = 0;
        (void)!::read(ready[0], &byte, 1);
        ::close(ready[0]);
        done_ = done[0];
    }
    Neighbour(const Neighbour&) = delete;
    Neighbour& operator=(const Neighbour&) = delete;
    ~Neighbour() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (done_ >= 0) {
            ::close(done_);
        }
    }

    // True once the neighbour has acted, waiting up to `milliseconds` for it.
    bool acted(int milliseconds = 10000) {
        pollfd ready{done_, POLLIN, 0};
        return done_ >= 0 && ::poll(&ready, 1, milliseconds) == 1 && (ready.revents & POLLIN);
    }

private:
    pid_t pid_ = -1;
    int done_ = -1;
};
