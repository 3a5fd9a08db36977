#include <csignal>

#include "platform/ProgramEntry.h"

int EnterProgram(int argc, char** argv, ProgramBody body) {
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return body(arguments);
}
