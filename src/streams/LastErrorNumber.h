#pragma once

#include <cerrno>

// The error number of the call that just failed. The C runtime does not promise to set errno
// for every failure (a short fwrite, for instance); such a failure is reported as EIO.
inline int LastErrorNumber() {
    return errno != 0 ? errno : EIO;
}
