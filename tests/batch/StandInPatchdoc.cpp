// Stands in for Patchdoc in the tests of Patchtree. It appends its arguments to the file named
// by PATCHTREE_TEST_RECORD (the count, then each argument, every item ended by a NUL byte) and
// then does what the first line of the file in its last argument says:
//   "exit N"  ends with status N;
//   "signal"  ends by a signal (SIGTERM) where the system has them, with an error status
//             elsewhere;
//   "backup"  repairs like Patchdoc with backups on: copies the file to the first free backup
//             name, replaces it with a file saying "exit 2", and ends with 0.
// A last argument that can't be read as a file ends it with 1.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

bool ReadFile(const fs::path& path, std::string* content) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    *content = bytes.str();
    return static_cast<bool>(in);
}

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

int RepairWithBackup(const std::string& path, const std::string& original) {
    const std::size_t dot = path.rfind('.');
    const std::string stem = path.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : path.substr(dot);
    for (int attempt = 0; attempt <= 9; ++attempt) {
        const std::string suffix =
            attempt == 0 ? " (Backup)" : " (Backup " + std::to_string(attempt) + ")";
        const fs::path backup = fs::u8path(stem + suffix + extension);
        std::error_code error;
        if (fs::exists(fs::symlink_status(backup, error))) {
            continue;
        }
        const fs::path temporary = fs::u8path(path + ".standin.tmp");
        if (!WriteNewFile(backup, original) || !WriteNewFile(temporary, "exit 2\n")) {
            return 1;
        }
        fs::rename(temporary, fs::u8path(path), error);
        return error ? 1 : 0;
    }
    return 1;
}

int StandIn(const std::vector<std::string>& arguments) {
    Record(arguments);
    std::string content;
    if (arguments.empty() || !ReadFile(fs::u8path(arguments.back()), &content)) {
        return 1;
    }
    const bool backupsOff = arguments.size() == 2 && arguments[0] == "-d";
    if (content.rfind("exit ", 0) == 0) {
        return std::atoi(content.c_str() + 5);
    }
    if (content.rfind("signal", 0) == 0) {
        std::signal(SIGTERM, SIG_DFL);
        std::raise(SIGTERM);
        return 1;
    }
    if (content.rfind("backup", 0) == 0) {
        return backupsOff ? 0 : RepairWithBackup(arguments.back(), content);
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
