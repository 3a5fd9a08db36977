#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ChildProcesses.h"
#include "platform/CreatedFile.h"
#include "platform/PinnedFile.h"
#include "platform/ProcessResult.h"
#include "platform/ReadableFile.h"
#include "platform/WritableFile.h"

// The operating-system services both programs use, behind one narrow interface. Each platform
// supplies one implementation file; Default() returns the one for the running system.
// Error numbers are the platform's own (errno values on POSIX, GetLastError codes on Windows):
// callers never compare them with constants of their own, they ask errorKind().
class Env {
public:
    enum class PathKind { Missing, RegularFile, Directory, Other };

    // What callers need to tell apart among the platform's error numbers.
    enum class ErrorKind {
        NotFound,       // the file or a folder on its path does not exist
        AlreadyExists,  // the name is taken
        AccessDenied,   // no permission, a read-only file or file system
        LockConflict,   // another process holds the file open in a way that excludes this use
        NoSpace,        // the disk, a quota or a file size limit is full
        OutOfMemory,
        NameTooLong,
        Other,
    };

    virtual ~Env() = default;
    static Env& Default();

    // What a path names, following symbolic links. A failed query reports Missing;
    // FIFOs, devices and sockets are Other.
    virtual PathKind pathKind(const std::filesystem::path& path) = 0;

    // True when anything at all exists under the name (a dangling link included).
    virtual bool pathExists(const std::filesystem::path& path) = 0;

    // Opens the file a run repairs, following `path` as it stands now, once, and holds the file
    // and its real folder (see PinnedFile). Never fails: a file that can't be opened answers
    // every call of the PinnedFile with the error of its opening.
    virtual std::unique_ptr<PinnedFile> pinFile(const std::filesystem::path& path) = 0;

    // The user's folder for temporary files (TMPDIR on POSIX).
    virtual std::filesystem::path tempFolder() = 0;

    // Atomically creates a new, empty file named `prefix`, some unique characters and ".tmp" in
    // `folder`, readable and writable by the owner only, and holds it open (see CreatedFile).
    virtual int createFile(const std::filesystem::path& folder, const std::string& prefix,
                           std::unique_ptr<CreatedFile>* file) = 0;

    // The system's description of an error number, as one line without a line end.
    virtual std::string errorText(int errorNumber) = 0;

    virtual ErrorKind errorKind(int errorNumber) = 0;

    // Opens a file through the C runtime's buffered file functions (`mode` as for fopen), so
    // that any name the file system takes can be opened. A folder is refused. Null on failure,
    // with the C runtime's errno set.
    virtual std::FILE* openStdioFile(const std::filesystem::path& path, const char* mode) = 0;

    // Opens a file for reading, shared with other readers: a file held through openWritable (in
    // this process or another) makes this fail with a LockConflict error, and while the file
    // stays open openWritable can't have it.
    virtual int openReadable(const std::filesystem::path& path,
                             std::unique_ptr<ReadableFile>* file) = 0;

    // Creates or replaces a file and holds it exclusively: a file another process holds open
    // through these calls fails with a LockConflict error. The file is emptied only after it is
    // held.
    virtual int openWritable(const std::filesystem::path& path,
                             std::unique_ptr<WritableFile>* file) = 0;

    // The running program's own file.
    virtual std::filesystem::path executablePath() = 0;

    // The user's home folder and documents folder (empty when unknown).
    virtual std::filesystem::path homeFolder() = 0;
    virtual std::filesystem::path documentsFolder() = 0;

    // Runs a program directly, with no command interpreter in between, passing each argument
    // unchanged (UTF-8 texts), and waits for it to end. The child shares the console.
    virtual ProcessResult runProcess(const std::filesystem::path& program,
                                     const std::vector<std::string>& arguments) = 0;

    // A group of children run side by side with their output on pipes (see ChildProcesses).
    // Only one may exist at a time.
    virtual std::unique_ptr<ChildProcesses> childProcesses() = 0;

    // How many processors this process may run on (at least 1).
    virtual unsigned processorCount() = 0;
};
