// Stands in for Patchdoc in the tests of Patchtree. It appends its arguments to the file named
// by PATCHTREE_TEST_RECORD (the count, then each argument, every item ended by a NUL byte) and
// then does what the first line of the file in its last argument says:
//   "exit N"  ends with status N;
//   "signal"  ends by a signal (SIGTERM) where the system has them, with an error status
//             elsewhere;
//   "backup"  repairs like Patchdoc with backups on: copies the file to the first free backup
//             name, replaces it with a file saying "exit 2", and ends with 0.
//   "hold MS" holds the file (by its identity, so all its hard links) for MS milliseconds and
//             ends with 2; ends with 3 at once when another stand-in holds it already.
//   "pieces"  prints "[ok], " and the path in three pieces, a while apart, and ends with 2.
//   "flattened N"  prints "[flattened N], " and the path, as Patchdoc -n does, and ends with 0.
// A last argument that can't be read as a file ends it with 1.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "ScratchFolder.h"
#include "platform/FolderDescriptor.h"
#include "platform/ProgramEntry.h"
#include "support/TestSystem.h"

namespace fs = std::filesystem;

namespace {

void Record(const std::vector<std::string>& arguments) {
    const std::optional<std::string> record = fixtures::Variable("PATCHTREE_TEST_RECORD");
    if (!record) {
        return;
    }
    std::string entry = std::to_string(arguments.size()) + '\0';
    for (const std::string& argument : arguments) {
        entry += argument;
        entry += '\0';
    }
    std::ofstream(fs::u8path(*record), std::ios::binary | std::ios::app) << entry;
}

// Creates the file with this content; false when the name is taken or the write fails.
bool WriteNewFile(const fs::path& path, const std::string& content) {
    std::error_code error;
    if (fs::exists(fs::symlink_status(path, error))) {
        return false;
    }
    std::ofstream out(path, std::ios::binary);
    out << content;
    out.close();
    return static_cast<bool>(out);
}

// Every path handed on ends in ".ppt"; the backup takes the first free name.
int RepairWithBackup(const std::string& path, const std::string& original) {
    const std::string stem = path.substr(0, path.size() - 4);
    for (int n = 0; n <= 9; ++n) {
        const std::string suffix = n == 0 ? " (Backup)" : " (Backup " + std::to_string(n) + ")";
        if (WriteNewFile(fs::u8path(stem + suffix + ".ppt"), original)) {
            const fs::path temporary = fs::u8path(path + ".standin.tmp");
            if (!WriteNewFile(temporary, "exit 2\n")) {
                return 1;
            }
            std::error_code error;
            fs::rename(temporary, fs::u8path(path), error);
            return error ? 1 : 0;
        }
    }
    return 1;
}

void Sleep(long milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int Hold(const std::string& path, long milliseconds) {
    const std::optional<std::string> record = fixtures::Variable("PATCHTREE_TEST_RECORD");
    const fs::path file = fs::u8path(path);
    FolderDescriptor folder;
    FileIdentity identity;
    if (!record || FolderDescriptor::open(file.parent_path().u8string(), &folder) != 0 ||
        folder.identify(file.filename().u8string(), &identity) != 0) {
        return 1;
    }
    const fs::path marker = fs::u8path(*record + ".held." + std::to_string(identity.volume) + "-" +
                                       std::to_string(identity.file));
    if (!WriteNewFile(marker, "")) {
        return 3;
    }
    Sleep(milliseconds);
    std::error_code ignored;
    fs::remove(marker, ignored);
    return 2;
}

int StandIn(const std::vector<std::string>& arguments) {
    Record(arguments);
    // A folder, or a path too long to open, reads as nothing.
    const std::string content =
        arguments.empty() ? "" : ReadFileBytes(fs::u8path(arguments.back()));
    const bool backupsOff = arguments.size() == 2 && arguments[0] == "-d";
    if (content.rfind("exit ", 0) == 0) {
        return std::atoi(content.c_str() + 5);
    }
    if (content.rfind("signal", 0) == 0) {
        std::signal(SIGTERM, SIG_DFL);
        std::raise(SIGTERM);
        return 1;
    }
    const std::string& path = arguments.back();
    if (content.rfind("backup", 0) == 0) {
        return backupsOff ? 0 : RepairWithBackup(path, content);
    }
    if (content.rfind("hold ", 0) == 0) {
        return Hold(path, std::atol(content.c_str() + 5));
    }
    if (content.rfind("pieces", 0) == 0) {
        for (const std::string& piece : {std::string("[ok], "), path, std::string("\n")}) {
            std::cout << piece << std::flush;
            Sleep(30);
        }
        return 2;
    }
    if (content.rfind("flattened ", 0) == 0) {
        std::cout << "[flattened " << std::atoi(content.c_str() + 10) << "], " << path << std::endl;
        return 0;
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
