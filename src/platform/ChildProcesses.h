#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ProcessResult.h"

// Child processes run side by side, each with its standard output on a pipe of its own that this
// object reads, all watched by one wait. While the object lives it also takes the console's
// interrupt (Ctrl-C): the interrupt no longer ends this process, it is only recorded, and it
// never reaches the children, so that none of them is cut short. At most one such object exists
// at a time (Env::childProcesses).
class ChildProcesses {
public:
    using Id = std::uint64_t;

    // What one wait saw of one child.
    struct Event {
        Id child = 0;
        std::string output;  // what the child wrote to standard output since its last event
        bool ended = false;  // the child has ended; its output is complete and `result` tells how
        ProcessResult result;
    };

    // Waits for every child still running (children are never killed), reading and dropping
    // their output so that none of them blocks on a full pipe.
    virtual ~ChildProcesses() = default;

    // Starts `program` directly, with no command interpreter, passing each argument unchanged.
    // Its standard input is the null device, its standard output a pipe read by this object, its
    // standard error shared with this process. Returns 0 and the child's id, or the error number
    // of a child that could not be started.
    virtual int start(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments, Id* child) = 0;

    // Blocks until some running child has written output or ended, or until the console's
    // interrupt arrives (only the first one returns early), and appends what happened to
    // `events`: output before the end of the same child, each ended child exactly once. Returns
    // at once when no child is running.
    virtual void wait(std::vector<Event>* events) = 0;

    // Children started and not yet reported ended.
    virtual std::size_t running() const = 0;

    // True once the console's interrupt has arrived while this object lived.
    virtual bool interrupted() const = 0;
};
