#include "platform/PosixExclusiveHold.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/PinnedFile.h"

namespace {

// The holder of a lease is told by SIGIO that someone wants the file, and the signal would end
// the program. Nothing needs telling: the hold lasts until the run ends, and the opener waits.
void IgnoreLeaseBreakSignal() {
    struct sigaction current {};
    if (::sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        ::signal(SIGIO, SIG_IGN);
    }
}

int InUseOr(int error) {
    return error == EWOULDBLOCK || error == EAGAIN || error == EACCES ? PinnedFile::kInUse : error;
}

}  // namespace

int PosixExclusiveHold::take(int fd, bool writable) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return InUseOr(errno);
    }
    struct flock lock {};
    lock.l_type = writable ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        return InUseOr(errno);
    }
    // The watch comes first, so that no open between it and the lease goes unseen.
    int watchError = 0;
    watch_ = PosixFileDescriptor(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (!watch_.valid() || ::inotify_add_watch(watch_.get(), self.c_str(), IN_OPEN) < 0) {
        watchError = errno;
        watch_.reset();
    }
    IgnoreLeaseBreakSignal();
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        leased_ = true;
        return 0;
    }
    // EAGAIN: another descriptor of the file is open somewhere. Anything else (EACCES for a
    // caller who neither owns the file nor may take leases, EINVAL where the file system keeps
    // none) leaves the watch as the only guard, so it must be there.
    return errno == EAGAIN ? PinnedFile::kInUse : watchError;
}

bool PosixExclusiveHold::openedMeanwhile() {
    alignas(inotify_event) char buffer[4096];
    while (watch_.valid() && !opened_) {
        const ssize_t got = ::read(watch_.get(), buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            opened_ = opened_ || (event->mask & (IN_OPEN | IN_Q_OVERFLOW)) != 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return opened_;
}

void PosixExclusiveHold::release(int fd) {
    if (leased_) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    }
    struct flock lock {};
    lock.l_type = F_UNLCK;
    lock.l_whence = SEEK_SET;
    ::fcntl(fd, F_OFD_SETLK, &lock);
    ::flock(fd, LOCK_UN);
    watch_.reset();
}
