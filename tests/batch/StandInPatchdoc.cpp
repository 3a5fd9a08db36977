// Stands in for Patchdoc in the tests of Patchtree. It appends its arguments to the file named
// by PATCHTREE_TEST_RECORD (the count, then each argument, every item ended by a NUL byte) and
// then does what the first line of the file in its last argument says:
//   "exit N"  ends with status N;
//   "signal"  ends by a signal (SIGTERM) where the system has them, with an error status
//             elsewhere;
//   "backup"  repairs like Patchdoc with backups on: copies the file to the first free backup
//             name, replaces it with a file saying "exit 2", and ends with 0.
//   "hold MS ..." holds the file for MS milliseconds and ends with 2; ends with 3 at once when
//             another stand-in holds a file of the same content (so any of its hard links).
//   "pieces"  prints "[ok], " and the path in three pieces, a while apart, and ends with 2.
// A last argument that can't be read as a file ends it with 1.
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <thread>

#include "ScratchFolder.h"
#include "platform/ProgramEntry.h"
#include "support/TestSystem.h"

namespace fs = std::filesystem;

namespace {

void Sleep(long milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Every path handed on ends in ".ppt"; the backup takes the first free name.
int RepairWithBackup(const std::string& path) {
    const std::string stem = path.substr(0, path.size() - 4);
    for (int n = 0; n <= 9; ++n) {
        const std::string suffix = n == 0 ? " (Backup)" : " (Backup " + std::to_string(n) + ")";
        std::error_code error;
        if (fs::copy_file(fs::u8path(path), fs::u8path(stem + suffix + ".ppt"), error)) {
            WriteFileBytes(fs::u8path(path + ".standin.tmp"), "exit 2\n");
            fs::rename(fs::u8path(path + ".standin.tmp"), fs::u8path(path), error);
            return error ? 1 : 0;
        }
    }
    return 1;
}

// The marker is a folder, as making one fails when it exists already.
int Hold(const std::string& content, const std::string& record) {
    const fs::path marker =
        fs::u8path(record + ".held." + std::to_string(std::hash<std::string>()(content)));
    std::error_code error;
    if (!fs::create_directory(marker, error)) {
        return 3;
    }
    Sleep(std::atol(content.c_str() + 5));
    fs::remove(marker, error);
    return 2;
}

int StandIn(const std::vector<std::string>& arguments) {
    const std::string record = fixtures::Variable("PATCHTREE_TEST_RECORD").value_or("");
    if (!record.empty()) {
        std::string entry = std::to_string(arguments.size()) + '\0';
        for (const std::string& argument : arguments) {
            entry += argument + '\0';
        }
        std::ofstream(fs::u8path(record), std::ios::binary | std::ios::app) << entry;
    }
    // A folder, or a path too long to open, reads as nothing.
    const std::string content =
        arguments.empty() ? "" : ReadFileBytes(fs::u8path(arguments.back()));
    const auto is = [&content](const char* word) { return content.rfind(word, 0) == 0; };
    if (is("exit ")) {
        return std::atoi(content.c_str() + 5);
    }
    if (is("signal")) {
        std::signal(SIGTERM, SIG_DFL);
        std::raise(SIGTERM);
        return 1;
    }
    const std::string& path = arguments.back();
    if (is("backup")) {
        const bool backupsOff = arguments.size() == 2 && arguments[0] == "-d";
        return backupsOff ? 0 : RepairWithBackup(path);
    }
    if (is("hold ")) {
        return record.empty() ? 1 : Hold(content, record);
    }
    if (is("pieces")) {
        for (const std::string& piece : {std::string("[ok], "), path, std::string("\n")}) {
            std::cout << piece << std::flush;
            Sleep(30);
        }
        return 2;
    }
    return 1;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return EnterProgram(argc, argv, StandIn);
}
#else
int main(int argc, char** argv) {
    return EnterProgram(argc, argv, StandIn);
}
#endif
