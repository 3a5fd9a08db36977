// Stands in for Patchdoc in the tests of Patchtree. It appends its arguments to the file named
// by PATCHTREE_TEST_RECORD (the count, then each argument, every item ended by a NUL byte) and
// then does what the first line of the file in its last argument says:
//   "exit N"  ends with status N;
//   "signal"  is killed by SIGKILL;
//   "backup"  repairs like Patchdoc with backups on: copies the file to the first free backup
//             name, replaces it with a file saying "exit 2", and ends with 0.
//   "hold MS" holds the file (by its identity, so all its hard links) for MS milliseconds and
//             ends with 2; ends with 3 at once when another stand-in holds it already.
//   "pieces"  prints "[ok], " and the path in three pieces, a while apart, and ends with 2.
//   "flattened N"  prints "[flattened N], " and the path, as Patchdoc -n does, and ends with 0.
// A last argument that can't be read as a file ends it with 1.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

void Record(int argc, char** argv) {
    const char* record = std::getenv("PATCHTREE_TEST_RECORD");
    if (record == nullptr) {
        return;
    }
    std::string entry = std::to_string(argc - 1) + '\0';
    for (int i = 1; i < argc; ++i) {
        entry += argv[i];
        entry += '\0';
    }
    const int fd = ::open(record, O_WRONLY | O_APPEND | O_CREAT, 0666);
    if (fd >= 0) {
        (void)!::write(fd, entry.data(), entry.size());
        ::close(fd);
    }
}

bool ReadFile(const std::string& path, std::string* content) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    *content = bytes.str();
    return static_cast<bool>(in);
}

bool WriteNewFile(const std::string& path, const std::string& content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        return false;
    }
    const bool written =
        ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    return ::close(fd) == 0 && written;
}

int RepairWithBackup(const std::string& path, const std::string& original) {
    const std::size_t dot = path.rfind('.');
    const std::string stem = path.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : path.substr(dot);
    for (int attempt = 0; attempt <= 9; ++attempt) {
        const std::string suffix =
            attempt == 0 ? " (Backup)" : " (Backup " + std::to_string(attempt) + ")";
        const std::string backup = stem + suffix + extension;
        struct stat st;
        if (::lstat(backup.c_str(), &st) == 0) {
            continue;
        }
        const std::string temporary = path + ".standin.tmp";
        if (!WriteNewFile(backup, original) || !WriteNewFile(temporary, "exit 2\n") ||
            std::rename(temporary.c_str(), path.c_str()) != 0) {
            return 1;
        }
        return 0;
    }
    return 1;
}

void Sleep(long milliseconds) {
    const timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000};
    ::nanosleep(&pause, nullptr);
}

void Print(const std::string& text) {
    (void)!::write(1, text.data(), text.size());
}

int Hold(const std::string& path, long milliseconds) {
    struct stat st;
    const char* record = std::getenv("PATCHTREE_TEST_RECORD");
    if (record == nullptr || ::stat(path.c_str(), &st) != 0) {
        return 1;
    }
    const std::string marker = std::string(record) + ".held." + std::to_string(st.st_ino);
    if (!WriteNewFile(marker, "")) {
        return 3;
    }
    Sleep(milliseconds);
    ::unlink(marker.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Record(argc, argv);
    std::string content;
    if (argc < 2 || !ReadFile(argv[argc - 1], &content)) {
        return 1;
    }
    const std::string path = argv[argc - 1];
    const bool backupsOff = argc == 3 && std::string(argv[1]) == "-d";
    if (content.rfind("exit ", 0) == 0) {
        return std::atoi(content.c_str() + 5);
    }
    if (content.rfind("signal", 0) == 0) {
        ::kill(::getpid(), SIGKILL);
    }
    if (content.rfind("backup", 0) == 0) {
        return backupsOff ? 0 : RepairWithBackup(path, content);
    }
    if (content.rfind("hold ", 0) == 0) {
        return Hold(path, std::atol(content.c_str() + 5));
    }
    if (content.rfind("pieces", 0) == 0) {
        for (const std::string& piece : {std::string("[ok], "), path, std::string("\n")}) {
            Print(piece);
            Sleep(30);
        }
        return 2;
    }
    if (content.rfind("flattened ", 0) == 0) {
        Print("[flattened " + std::to_string(std::atoi(content.c_str() + 10)) + "], " + path +
              "\n");
        return 0;
    }
    return 1;
}
