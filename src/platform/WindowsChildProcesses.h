#pragma once

#include <memory>

#include "platform/ChildProcesses.h"

// The Windows ChildProcesses: CreateProcessW with the child in a process group of its own (the
// console's Ctrl-C is not passed to it), each child's standard output on a named pipe read with
// overlapped reads, and one I/O completion port that gathers the reads of every child and the
// interrupt, which a console control handler posts to it.
std::unique_ptr<ChildProcesses> NewWindowsChildProcesses();
