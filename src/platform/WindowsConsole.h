#pragma once

// Points std::cout and std::cerr at the process's standard output and error through writers
// that take UTF-8: a console gets the text as UTF-16 (WriteConsoleW), so every script shows as
// it is meant whatever the console's code page; a file or a pipe gets UTF-8 with CR LF line
// ends. A write that fails (a pipe whose reader went away) is dropped quietly.
void InstallConsoleStreams();
