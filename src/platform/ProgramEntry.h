#pragma once

#include <string>
#include <vector>

// What a program does with its arguments (the program name left out, each a UTF-8 text); it
// returns the exit code.
using ProgramBody = int (*)(const std::vector<std::string>& arguments);

// Starts a program the same way on every system, for the `main` (or `wmain`) of each program:
// the arguments become UTF-8 texts whatever the system gives; a console that went away (the
// reader of a pipe ended) makes writes to it fail quietly instead of ending the process; and
// standard output and standard error take UTF-8 text, which a console shows as it is meant and
// which a file or a pipe receives as UTF-8 with the system's line ends. Each system defines the
// overload of its own entry point.
int EnterProgram(int argc, char** argv, ProgramBody body);
int EnterProgram(int argc, wchar_t** argv, ProgramBody body);
