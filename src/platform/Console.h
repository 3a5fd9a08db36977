#pragma once

// True when the program's standard output is a terminal (a console window), where control
// characters act instead of showing.
bool StdoutIsTerminal();

// The same for standard error.
bool StderrIsTerminal();
