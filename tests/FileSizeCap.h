#pragma once

#include <sys/resource.h>

#include <csignal>

// Caps the size of every file this process writes, for as long as this object lives, with
// SIGXFSZ ignored: a write past the cap then fails with EFBIG, the way a full disk fails one.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &cap);
    }
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;
    ~FileSizeCap() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedHandler_);
    }

private:
    rlimit saved_{};
    void (*savedHandler_)(int) = nullptr;
};
