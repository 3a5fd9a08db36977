#include <iostream>

#include "platform/ProgramEntry.h"
#include "platform/WindowsConsole.h"
#include "platform/WindowsSupport.h"

int EnterProgram(int argc, wchar_t** argv, ProgramBody body) {
    InstallConsoleStreams();
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(winsupport::Narrow(argv[i]));
    }
    const int code = body(arguments);
    std::cout.flush();
    std::cerr.flush();
    return code;
}
