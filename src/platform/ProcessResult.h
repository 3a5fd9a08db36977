#pragma once

// How a child process ended.
struct ProcessResult {
    // startError when there is no program to start at all.
    static constexpr int kNoProgram = -1;

    int startError = 0;   // non-zero: the child could not be started (an error number)
    bool exited = false;  // the child ended normally and exitStatus holds its status
    int exitStatus = -1;
    int signal = 0;  // non-zero: the signal that ended the child
};
