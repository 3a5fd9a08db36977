#include <csignal>
#include <string>
#include <vector>

#include "batch/PatchtreeEntry.h"

int main(int argc, char** argv) {
    // A console that went away (the reader of a pipe ended) must not end the run between the
    // repair and its result: writes to it then fail quietly and the outcome stays the same.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return RunPatchtree(arguments);
}
