// The POSIX implementation of Env and of its file classes.
#include <fcntl.h>
#include <pwd.h>
#include <sched.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/Env.h"
#include "platform/PosixChildProcesses.h"
#include "platform/PosixCreatedFile.h"
#include "platform/PosixFileDescriptor.h"
#include "platform/PosixFileIO.h"
#include "platform/PosixPinnedFile.h"
#include "platform/PosixReadableFile.h"
#include "platform/PosixSpawn.h"
#include "platform/PosixWritableFile.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using FileDescriptor = PosixFileDescriptor;

class PosixEnv : public Env {
public:
    PathKind pathKind(const fs::path& path) override {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            return PathKind::Missing;
        }
        if (S_ISREG(st.st_mode)) {
            return PathKind::RegularFile;
        }
        return S_ISDIR(st.st_mode) ? PathKind::Directory : PathKind::Other;
    }

    bool pathExists(const fs::path& path) override {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0;
    }

    std::unique_ptr<PinnedFile> pinFile(const fs::path& path) override {
        return PinPosixFile(path);
    }

    fs::path tempFolder() override {
        const char* tmpdir = std::getenv("TMPDIR");
        return fs::path(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp");
    }

    int createFile(const fs::path& folder, const std::string& prefix,
                   std::unique_ptr<CreatedFile>* file) override {
        FileDescriptor held = posixio::openFolder(folder);
        if (!held.valid()) {
            return errno;
        }
        return PosixCreatedFile::create(std::move(held), folder, prefix, file);
    }

    std::string errorText(int errorNumber) override {
        char buffer[256];
        return std::string(::strerror_r(errorNumber, buffer, sizeof buffer));
    }

    ErrorKind errorKind(int errorNumber) override {
        switch (errorNumber) {
            case ENOENT:
            case ELOOP:  // a symbolic link where none may be followed
                return ErrorKind::NotFound;
            case EEXIST:
                return ErrorKind::AlreadyExists;
            case EACCES:
            case EPERM:
            case EISDIR:
            case EROFS:
            case ETXTBSY:
                return ErrorKind::AccessDenied;
            case EWOULDBLOCK:
                return ErrorKind::LockConflict;
            case ENOSPC:
            case EDQUOT:
            case EFBIG:
                return ErrorKind::NoSpace;
            case ENOMEM:
                return ErrorKind::OutOfMemory;
            case ENAMETOOLONG:
                return ErrorKind::NameTooLong;
            default:
                return ErrorKind::Other;
        }
    }

    std::FILE* openStdioFile(const fs::path& path, const char* mode) override {
        std::FILE* file = std::fopen(path.c_str(), mode);
        struct stat st;
        if (file != nullptr && ::fstat(::fileno(file), &st) == 0 && S_ISDIR(st.st_mode)) {
            std::fclose(file);  // the runtime opens a folder for reading: refused here
            errno = EISDIR;
            return nullptr;
        }
        return file;
    }

    int openReadable(const fs::path& path, std::unique_ptr<ReadableFile>* file) override {
        // Reading leaves the access time alone where the system allows it (the file's owner, or
        // root); for anyone else it is refused with EPERM, and the plain open is used.
        int opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
        if (opened < 0 && errno == EPERM) {
            opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        }
        FileDescriptor fd(opened);
        if (!fd.valid()) {
            return errno;
        }
        struct stat st;
        if (::fstat(fd.get(), &st) != 0) {
            return errno;
        }
        if (S_ISDIR(st.st_mode)) {
            return EISDIR;
        }
        if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
            return errno;
        }
        *file = std::make_unique<PosixReadableFile>(fd.release(),
                                                    static_cast<std::uint64_t>(st.st_size));
        return 0;
    }

    int openWritable(const fs::path& path, std::unique_ptr<WritableFile>* file) override {
        // A link put in place of the file (a symbolic one, or a second name of another file)
        // is refused: what is written here must never land in a file elsewhere.
        FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!fd.valid()) {
            return errno;
        }
        struct stat st;
        if (::fstat(fd.get(), &st) != 0) {
            return errno;
        }
        if (!S_ISREG(st.st_mode) || st.st_nlink > 1) {
            return EMLINK;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            return errno;
        }
        if (::ftruncate(fd.get(), 0) != 0) {
            return errno;
        }
        *file = std::make_unique<PosixWritableFile>(fd.release());
        return 0;
    }

    fs::path executablePath() override {
        std::error_code error;
        fs::path path = fs::read_symlink("/proc/self/exe", error);
        return error ? fs::path() : path;
    }

    fs::path homeFolder() override {
        if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
            return fs::path(home);
        }
        if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir) {
            return fs::path(user->pw_dir);
        }
        return fs::path();
    }

    fs::path documentsFolder() override {
        if (const char* docs = std::getenv("XDG_DOCUMENTS_DIR"); docs != nullptr && *docs) {
            return fs::path(docs);
        }
        const fs::path home = homeFolder();
        if (home.empty()) {
            return home;
        }
        if (fs::path configured = configuredDocumentsFolder(home); !configured.empty()) {
            return configured;
        }
        std::error_code error;
        if (fs::is_directory(home / "Documents", error)) {
            return home / "Documents";
        }
        return home;
    }

    ProcessResult runProcess(const fs::path& program,
                             const std::vector<std::string>& arguments) override {
        ProcessResult result;
        std::vector<std::string> strings;
        std::vector<char*> argv = posixspawn::ArgumentVector(program, arguments, &strings);
        pid_t pid = 0;
        const int error =
            ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
        if (error != 0) {
            result.startError = error;
            return result;
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) {
                result.startError = errno;
                return result;
            }
        }
        return posixspawn::ResultOf(status);
    }

    std::unique_ptr<ChildProcesses> childProcesses() override { return NewPosixChildProcesses(); }

    unsigned processorCount() override {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
            return static_cast<unsigned>(CPU_COUNT(&set));
        }
        const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
        return online > 0 ? static_cast<unsigned>(online) : 1;
    }

private:
    // The documents folder named in the user's XDG user-dirs file, if any.
    static fs::path configuredDocumentsFolder(const fs::path& home) {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const fs::path file =
            (config != nullptr && *config ? fs::path(config) : home / ".config") / "user-dirs.dirs";
        std::ifstream in(file);
        std::string line;
        const std::string key = "XDG_DOCUMENTS_DIR=";
        while (std::getline(in, line)) {
            if (line.compare(0, key.size(), key) != 0) {
                continue;
            }
            std::string value = line.substr(key.size());
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            if (value.compare(0, 5, "$HOME") == 0) {
                value = home.string() + value.substr(5);
            }
            std::error_code error;
            if (!value.empty() && fs::is_directory(value, error)) {
                return fs::path(value);
            }
        }
        return fs::path();
    }
};

}  // namespace

Env& Env::Default() {
    static PosixEnv env;
    return env;
}
