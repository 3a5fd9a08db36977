#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ProcessResult.h"
#include "platform/ReadableFile.h"
#include "platform/WritableFile.h"

// The operating-system services both programs use, behind one narrow interface. Each platform
// supplies one implementation file; Default() returns the one for the running system.
// Error numbers are the platform's own (errno values on POSIX).
class Env {
public:
    enum class PathKind { Missing, RegularFile, Directory, Other };

    virtual ~Env() = default;
    static Env& Default();

    // What a path names, following symbolic links. A failed query reports Missing;
    // FIFOs, devices and sockets are Other.
    virtual PathKind pathKind(const std::filesystem::path& path) = 0;

    // True when anything at all exists under the name (a dangling link included).
    virtual bool pathExists(const std::filesystem::path& path) = 0;

    // Copies a regular file and flushes the copy to disk. With failIfExists an existing target is
    // refused, and the copy is written under a temporary name in the target's folder and given
    // the target's name only once complete, so the name never holds part of a copy; otherwise an
    // existing target is overwritten in place, once the space for the whole copy has been taken
    // (where the file system can reserve it): a full disk then leaves the target unchanged. A copy
    // that fails part way is removed when this call created it.
    virtual int copyFile(const std::filesystem::path& from, const std::filesystem::path& to,
                         bool failIfExists) = 0;

    // 0 when the caller may replace the content of the file: it has a write permission bit and
    // the caller is allowed to write it. Otherwise a permission error number.
    virtual int checkWritable(const std::filesystem::path& path) = 0;

    // True when the file has more than one name (hard links), so replacing the name would
    // separate it from the others.
    virtual bool hasOtherNames(const std::filesystem::path& path) = 0;

    // Puts `replacement`, a complete file in the same folder as `target`, in target's place:
    // gives it target's permission bits (and owner and group where allowed), flushes it, renames
    // it over target and flushes the folder. On failure target is unchanged; once the rename has
    // happened the call succeeds, and the folder flush is done as far as the folder allows.
    virtual int replaceFile(const std::filesystem::path& target,
                            const std::filesystem::path& replacement) = 0;

    // The user's folder for temporary files (TMPDIR on POSIX).
    virtual std::filesystem::path tempFolder() = 0;

    // Atomically creates a new, empty file named `prefix`, some unique characters and ".tmp" in
    // `folder`, readable and writable by the owner only.
    virtual int createUniqueFile(const std::filesystem::path& folder, const std::string& prefix,
                                 std::filesystem::path* created) = 0;

    virtual int deleteFile(const std::filesystem::path& path) = 0;

    // The system's description of an error number.
    virtual std::string errorText(int errorNumber) = 0;

    // Opens a file for reading and shares it with readers only: a writer holding it locked
    // makes this fail with the platform's "would block" error number, and while the file stays
    // open no writer can lock it.
    virtual int openReadable(const std::filesystem::path& path,
                             std::unique_ptr<ReadableFile>* file) = 0;

    // Creates or replaces a file and holds it exclusively: a file another process holds open
    // through these calls fails with the "would block" error number. The file is emptied only
    // after the lock is taken.
    virtual int openWritable(const std::filesystem::path& path,
                             std::unique_ptr<WritableFile>* file) = 0;

    // The error number that openReadable and openWritable return for a lock conflict.
    virtual int lockConflictError() = 0;

    // The running program's own file.
    virtual std::filesystem::path executablePath() = 0;

    // The user's home folder and documents folder (empty when unknown).
    virtual std::filesystem::path homeFolder() = 0;
    virtual std::filesystem::path documentsFolder() = 0;

    // Runs a program directly, with no command interpreter in between, passing each argument
    // unchanged, and waits for it to end. The child shares the console.
    virtual ProcessResult runProcess(const std::filesystem::path& program,
                                     const std::vector<std::string>& arguments) = 0;
};
