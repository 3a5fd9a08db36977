#pragma once

#include "platform/PosixFileDescriptor.h"

// Keeps other programs away from an open file (see PinnedFile::holdExclusively): an exclusive
// flock and an open file description lock shut out programs that lock the file; a write lease,
// where the system grants one, makes every other program that opens it wait; an inotify watch
// sees the programs that open it all the same. The lease and the locks end when the file's
// descriptor is closed.
class PosixExclusiveHold {
public:
    // Takes the hold on `fd`, the file's only open descriptor in this process. Returns 0,
    // PinnedFile::kInUse when another program has the file open (where a lease could be asked
    // for) or locked, or an error number.
    int take(int fd, bool writable);

    // True when another program opened the file since take(): without a lease anyone may, with
    // one only once the system broke it after its lease-break time.
    bool openedMeanwhile();

    // Gives up the lease and the locks on `fd`, the descriptor the hold was taken on.
    void release(int fd);

private:
    PosixFileDescriptor watch_;
    bool leased_ = false;
    bool opened_ = false;
};
