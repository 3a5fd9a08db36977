// The POSIX implementation of Env and of its file classes.
#include <fcntl.h>
#include <pwd.h>
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

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;
// Copies staged under a temporary name carry the temporary files' prefix, so that one left by a
// killed run is known for what it is.
constexpr const char* kStagingPrefix = "kvf";

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor and reports what close() says.
    int reset() {
        if (fd_ < 0) {
            return 0;
        }
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int fd_;
};

int readFully(int fd, std::uint64_t offset, void* buffer, std::size_t count, std::size_t* done) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    *done = 0;
    while (*done < count) {
        const ssize_t n =
            ::pread(fd, bytes + *done, count - *done, static_cast<off_t>(offset + *done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            break;
        }
        *done += static_cast<std::size_t>(n);
    }
    return 0;
}

int writeFully(int fd, std::uint64_t offset, const void* buffer, std::size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Copies `count` bytes between two descriptors, in the kernel when it can.
int copyRange(int from, std::uint64_t fromOffset, int to, std::uint64_t toOffset,
              std::uint64_t count) {
    bool kernelCopy = true;
    std::vector<unsigned char> buffer;
    while (count > 0) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyChunk));
        if (kernelCopy) {
            loff_t in = static_cast<loff_t>(fromOffset);
            loff_t out = static_cast<loff_t>(toOffset);
            const ssize_t n = ::copy_file_range(from, &in, to, &out, chunk, 0);
            if (n > 0) {
                fromOffset += static_cast<std::uint64_t>(n);
                toOffset += static_cast<std::uint64_t>(n);
                count -= static_cast<std::uint64_t>(n);
                continue;
            }
            if (n == 0) {
                return EIO;  // the source ended before the range did
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
                errno != EBADF) {
                return errno;
            }
            kernelCopy = false;
        }
        if (buffer.empty()) {
            buffer.resize(kCopyChunk);
        }
        std::size_t got = 0;
        if (const int error = readFully(from, fromOffset, buffer.data(), chunk, &got)) {
            return error;
        }
        if (got < chunk) {
            return EIO;
        }
        if (const int error = writeFully(to, toOffset, buffer.data(), chunk)) {
            return error;
        }
        fromOffset += chunk;
        toOffset += chunk;
        count -= chunk;
    }
    return 0;
}

class PosixReadableFile : public ReadableFile {
public:
    PosixReadableFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

    int readAt(std::uint64_t offset, void* buffer, std::size_t count,
               std::size_t* bytesRead) override {
        return readFully(fd_.get(), offset, buffer, count, bytesRead);
    }
    std::uint64_t size() const override { return size_; }
    int descriptor() const { return fd_.get(); }

private:
    FileDescriptor fd_;
    std::uint64_t size_;
};

class PosixWritableFile : public WritableFile {
public:
    explicit PosixWritableFile(int fd) : fd_(fd) {}

    int writeAt(std::uint64_t offset, const void* buffer, std::size_t count) override {
        if (!fd_.valid()) {
            return EBADF;
        }
        return writeFully(fd_.get(), offset, buffer, count);
    }
    int copyFrom(ReadableFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                 std::uint64_t count) override {
        if (!fd_.valid()) {
            return EBADF;
        }
        if (auto* posix = dynamic_cast<PosixReadableFile*>(&source)) {
            return copyRange(posix->descriptor(), sourceOffset, fd_.get(), offset, count);
        }
        std::vector<unsigned char> buffer(std::min<std::uint64_t>(count, kCopyChunk));
        while (count > 0) {
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
            std::size_t got = 0;
            if (const int error = source.readAt(sourceOffset, buffer.data(), chunk, &got)) {
                return error;
            }
            if (got < chunk) {
                return EIO;
            }
            if (const int error = writeFully(fd_.get(), offset, buffer.data(), chunk)) {
                return error;
            }
            sourceOffset += chunk;
            offset += chunk;
            count -= chunk;
        }
        return 0;
    }
    int truncate(std::uint64_t size) override {
        if (!fd_.valid()) {
            return EBADF;
        }
        return ::ftruncate(fd_.get(), static_cast<off_t>(size)) == 0 ? 0 : errno;
    }
    int sync() override {
        if (!fd_.valid()) {
            return EBADF;
        }
        return ::fdatasync(fd_.get()) == 0 ? 0 : errno;
    }
    int close() override { return fd_.reset(); }

private:
    FileDescriptor fd_;
};

int syncFolder(const fs::path& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) {
        return errno;
    }
    if (::fsync(dir.get()) != 0 && errno != EINVAL) {
        return errno;
    }
    return dir.reset();
}

fs::path folderOf(const fs::path& path) {
    fs::path folder = path.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// Copies the whole of `in` into `out`, flushes it to disk and closes it.
int fillAndClose(int in, const struct stat& st, FileDescriptor& out) {
    int error = copyRange(in, 0, out.get(), 0, static_cast<std::uint64_t>(st.st_size));
    if (error == 0 && ::fsync(out.get()) != 0) {
        error = errno;
    }
    const int closeError = out.reset();
    return error != 0 ? error : closeError;
}

// Gives the complete file `staged` the name `to` unless that name is taken (EEXIST then).
// A hard link is tried first, then a rename that refuses to replace, for file systems without
// hard links; ENOTSUP when neither is to be had.
int nameWithoutReplacing(const fs::path& staged, const fs::path& to) {
    if (::link(staged.c_str(), to.c_str()) == 0) {
        ::unlink(staged.c_str());
        return 0;
    }
    if (errno == EEXIST) {
        return EEXIST;
    }
    if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    return errno == EEXIST ? EEXIST : ENOTSUP;
}

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

    int copyFile(const fs::path& from, const fs::path& to, bool failIfExists) override {
        FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
        if (!in.valid()) {
            return errno;
        }
        struct stat st;
        if (::fstat(in.get(), &st) != 0) {
            return errno;
        }
        if (!S_ISREG(st.st_mode)) {
            return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        }
        if (failIfExists) {
            return copyToNewName(in.get(), st, to);
        }
        FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, st.st_mode & 0777));
        if (!out.valid()) {
            return errno;
        }
        // Space for the whole copy is taken before a byte of an existing target changes, so a
        // full disk (or a file size limit) refuses the copy instead of leaving half of it.
        if (st.st_size > 0 && ::fallocate(out.get(), 0, 0, st.st_size) != 0 &&
            errno != EOPNOTSUPP && errno != ENOSYS) {
            return errno;
        }
        if (::ftruncate(out.get(), st.st_size) != 0) {
            return errno;
        }
        return fillAndClose(in.get(), st, out);
    }

    int checkWritable(const fs::path& path) override {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            return errno;
        }
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            return EACCES;
        }
        return ::access(path.c_str(), W_OK) == 0 ? 0 : errno;
    }

    bool hasOtherNames(const fs::path& path) override {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && st.st_nlink > 1;
    }

    int replaceFile(const fs::path& target, const fs::path& replacement) override {
        struct stat st;
        if (::stat(target.c_str(), &st) != 0) {
            return errno;
        }
        FileDescriptor fd(::open(replacement.c_str(), O_RDWR | O_CLOEXEC));
        if (!fd.valid()) {
            return errno;
        }
        if (::fchmod(fd.get(), st.st_mode & 07777) != 0) {
            return errno;
        }
        // Only a privileged caller may give the file another owner; keep the group where the
        // caller is a member of it.
        if (::fchown(fd.get(), st.st_uid, st.st_gid) != 0) {
            (void)!::fchown(fd.get(), static_cast<uid_t>(-1), st.st_gid);
            // fchown may clear set-id bits; put the permission bits back.
            (void)!::fchmod(fd.get(), st.st_mode & 07777);
        }
        if (::fsync(fd.get()) != 0) {
            return errno;
        }
        if (const int error = fd.reset()) {
            return error;
        }
        if (::rename(replacement.c_str(), target.c_str()) != 0) {
            return errno;
        }
        // The rename has happened and cannot be taken back, so a failure to flush the folder
        // (one that may not be opened for reading, for instance) must not report the target as
        // unchanged.
        (void)syncFolder(folderOf(target));
        return 0;
    }

    fs::path tempFolder() override {
        const char* tmpdir = std::getenv("TMPDIR");
        return fs::path(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp");
    }

    int createUniqueFile(const fs::path& folder, const std::string& prefix,
                         fs::path* created) override {
        std::string name = (folder / (prefix + "XXXXXX.tmp")).string();
        std::vector<char> buffer(name.begin(), name.end());
        buffer.push_back('\0');
        const int fd = ::mkostemps(buffer.data(), 4, O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        ::close(fd);
        *created = fs::path(buffer.data());
        return 0;
    }

    int deleteFile(const fs::path& path) override {
        return ::unlink(path.c_str()) == 0 ? 0 : errno;
    }

    std::string errorText(int errorNumber) override {
        char buffer[256];
        return std::string(::strerror_r(errorNumber, buffer, sizeof buffer));
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
        FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
        if (!fd.valid()) {
            return errno;
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

    int lockConflictError() override { return EWOULDBLOCK; }

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
        strings.reserve(arguments.size() + 1);
        strings.push_back(program.string());
        strings.insert(strings.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& s : strings) {
            argv.push_back(s.data());
        }
        argv.push_back(nullptr);
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
        if (WIFEXITED(status)) {
            result.exited = true;
            result.exitStatus = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
        }
        return result;
    }

private:
    // The copy for failIfExists: written under a temporary name in the target's folder and only
    // then given the target name, so that the name never shows a partial copy (a run killed
    // part way leaves a kvf*.tmp instead). Where the folder can name a file neither way, the
    // copy is written under the target name directly and removed again when it fails.
    int copyToNewName(int in, const struct stat& st, const fs::path& to) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        const mode_t mode = st.st_mode & 0777 & ~mask;
        fs::path staged;
        if (const int error = createUniqueFile(folderOf(to), kStagingPrefix, &staged)) {
            return error;
        }
        FileDescriptor out(::open(staged.c_str(), O_WRONLY | O_CLOEXEC));
        int error = out.valid() ? 0 : errno;
        if (error == 0 && ::fchmod(out.get(), mode) != 0) {
            error = errno;
        }
        if (error == 0) {
            error = fillAndClose(in, st, out);
        }
        if (error == 0) {
            error = nameWithoutReplacing(staged, to);
        }
        if (error == 0) {
            (void)syncFolder(folderOf(to));
            return 0;
        }
        ::unlink(staged.c_str());
        if (error != ENOTSUP) {
            return error;
        }
        FileDescriptor direct(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!direct.valid()) {
            return errno;
        }
        error = fillAndClose(in, st, direct);
        if (error != 0) {
            ::unlink(to.c_str());
        }
        return error;
    }

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
