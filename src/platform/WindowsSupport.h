#pragma once

// What the Windows implementations of the platform services share: handles, UTF-8 and UTF-16
// texts, and paths as the wide-character file functions take them.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ProcessResult.h"

namespace winsupport {

// A handle of the system, closed with this object.
class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    Handle(Handle&& other) noexcept : handle_(other.release()) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE release() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    // Closes the handle; 0 or the error of the close.
    int reset() {
        if (!valid()) {
            handle_ = INVALID_HANDLE_VALUE;
            return 0;
        }
        const BOOL closed = ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed ? 0 : static_cast<int>(::GetLastError());
    }

private:
    HANDLE handle_;
};

// The error of the call that just failed, never 0.
inline int LastError() {
    const DWORD error = ::GetLastError();
    return error != 0 ? static_cast<int>(error) : ERROR_GEN_FAILURE;
}

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The path as the file functions take it: complete, with backslashes, and in the extended form
// ("\\?\C:\...", "\\?\UNC\server\share\...") that reaches paths of any length. Device names
// ("\\.\...") and paths already in that form stay as they are.
std::wstring Win32Path(const std::filesystem::path& path);

// A path the system gave in the extended form, as a user writes it ("C:\...", "\\server\...").
std::filesystem::path UserPath(std::wstring path);

// The command line that starts `program` with `arguments` (UTF-8), each argument arriving
// unchanged through CommandLineToArgvW and the C runtime's reading of a command line.
std::wstring CommandLine(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments);

// An inheritable copy of a handle (invalid for an invalid one), for a child to be given it.
Handle InheritableCopy(HANDLE handle);

// Starts `program` with `arguments` directly, with no command interpreter, its standard input,
// output and error the given handles (inheritable ones: the child inherits every inheritable
// handle), and `flags` for CreateProcessW. 0 and the child's process handle, or an error.
int StartProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                 HANDLE input, HANDLE output, HANDLE error, DWORD flags, Handle* process);

// Waits for a started process to end and tells how it ended.
ProcessResult WaitForExit(HANDLE process);

// What identifies a file on its volume, and what changes when anyone writes it.
struct FileState {
    std::uint32_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::uint32_t links = 0;
    std::uint32_t attributes = 0;
    std::int64_t creationTime = 0;
    std::int64_t lastAccessTime = 0;
    std::int64_t lastWriteTime = 0;
    std::int64_t changeTime = 0;

    bool sameFile(const FileState& other) const {
        return volume == other.volume && index == other.index;
    }
};

// 0 or an error.
int QueryState(HANDLE file, FileState* state);

// Opens `path` itself (a link, junction or other reparse point is not followed) only to look at
// it: no other process is hindered. 0 or an error.
int OpenForAttributes(const std::filesystem::path& path, Handle* handle);

// Reads or writes at an offset, looping until all or the end of the file. 0 or an error.
int ReadAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t count, std::size_t* done);
int WriteAt(HANDLE file, std::uint64_t offset, const void* buffer, std::size_t count);

// Copies `count` bytes of `from` at `fromOffset` to `to` at `toOffset`; EOF early is an error.
int CopyBytes(HANDLE from, std::uint64_t fromOffset, HANDLE to, std::uint64_t toOffset,
              std::uint64_t count);

int SetLength(HANDLE file, std::uint64_t length);

// Takes a lock, shared or exclusive, on one byte far past any data the file can hold, as an
// advisory lock between the openers that take it (flock's way): the file's data stays free for
// everyone, and the lock goes with the handle. ERROR_LOCK_VIOLATION when another handle holds a
// lock that excludes this one.
int LockMarker(HANDLE file, bool exclusive);

// Creates a new file "<prefix><8 hex digits>.tmp" in `folder` that did not exist before, opened
// for reading, writing and changing its access control list, shared with readers and writers
// but never renamed or deleted by anyone while it is open. 0 or an error.
int CreateUnique(const std::filesystem::path& folder, const std::string& prefix, Handle* file,
                 std::filesystem::path* created);

}  // namespace winsupport
