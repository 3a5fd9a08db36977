#pragma once

#include <unistd.h>

#include <cerrno>

// An open file descriptor, closed with this object.
class PosixFileDescriptor {
public:
    explicit PosixFileDescriptor(int fd = -1) : fd_(fd) {}
    PosixFileDescriptor(PosixFileDescriptor&& other) noexcept : fd_(other.release()) {}
    PosixFileDescriptor& operator=(PosixFileDescriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    PosixFileDescriptor(const PosixFileDescriptor&) = delete;
    PosixFileDescriptor& operator=(const PosixFileDescriptor&) = delete;
    ~PosixFileDescriptor() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor and reports what close() says.
    int reset() {
        if (fd_ < 0) {
            return 0;
        }
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int fd_;
};
