#include "batch/LogWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string_view>

#include "batch/Utf16LE.h"
#include "platform/Env.h"
#include "platform/TerminalText.h"

namespace {

std::filesystem::path gLogPath;
bool gWarned = false;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The line's UTF-16LE bytes: a line feed at its end becomes CR LF, every other control
// character U+FFFD, so that one call never adds more than one line to the log.
std::string LineBytes(std::string_view line) {
    const bool ended = !line.empty() && line.back() == '\n';
    std::string bytes = ToUtf16LE(ended ? line.substr(0, line.size() - 1) : line);
    if (ended) {
        bytes.append("\r\0\n\0", 4);
    }
    return bytes;
}

int ErrorNumberOr(int fallback) {
    return errno != 0 ? errno : fallback;
}

// Appends one line to the file, the byte-order mark first when the file is empty. Returns 0 or
// the C runtime's error number.
int AppendToFile(const std::filesystem::path& path, const std::string& line) {
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(Env::Default().openStdioFile(path, "ab"));
    if (!file) {
        return ErrorNumberOr(EIO);
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        return ErrorNumberOr(EIO);
    }
    const bool empty = std::ftell(file.get()) == 0;  // -1 for a file past 2 GiB on some systems
    std::string bytes = empty ? std::string("\xFF\xFE") : std::string();
    bytes += LineBytes(line);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fflush(file.get()) != 0) {
        return ErrorNumberOr(EIO);
    }
    if (std::fclose(file.release()) != 0) {
        return ErrorNumberOr(EIO);
    }
    return 0;
}

}  // namespace

void SetLogPath(std::filesystem::path path) {
    gLogPath = std::move(path);
}

const std::filesystem::path& LogPath() {
    return gLogPath;
}

void DefaultTracePath() {
    const std::filesystem::path documents = Env::Default().documentsFolder();
    if (!documents.empty()) {
        gLogPath = std::filesystem::u8path(documents.u8string() + "/KVTrace.txt");
    }
}

void AppendLogLine(const std::string& line) {
    if (gLogPath.empty()) {
        DefaultTracePath();
    }
    const int error = gLogPath.empty() ? 0 : AppendToFile(gLogPath, line);
    if ((error == 0 && !gLogPath.empty()) || gWarned) {
        return;
    }
    gWarned = true;
    const std::string reason =
        gLogPath.empty() ? "no documents folder for it" : std::strerror(error);
    std::cerr << StderrText("Warning: cannot write to the log file \"" + gLogPath.u8string() +
                            "\" (" + reason + "); the results of this run are missing from it.")
              << std::endl;
}
