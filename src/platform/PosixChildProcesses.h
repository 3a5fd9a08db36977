#pragma once

#include <memory>

#include "platform/ChildProcesses.h"

// The POSIX ChildProcesses: posix_spawn with the child in a process group of its own (so the
// terminal's SIGINT reaches only this process), poll over the children's pipes and a self-pipe
// that the SIGINT and SIGCHLD handlers write to.
std::unique_ptr<ChildProcesses> NewPosixChildProcesses();
