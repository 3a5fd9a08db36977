// The Windows implementation of Env.
#include <shlobj.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>

#include "platform/Env.h"
#include "platform/WindowsChildProcesses.h"
#include "platform/WindowsCreatedFile.h"
#include "platform/WindowsFiles.h"
#include "platform/WindowsPinnedFile.h"
#include "platform/WindowsSupport.h"

namespace fs = std::filesystem;
using winsupport::Handle;
using winsupport::LastError;
using winsupport::Narrow;
using winsupport::Widen;
using winsupport::Win32Path;

namespace {

constexpr int kDiskQuotaExceeded = 1295;  // ERROR_DISK_QUOTA_EXCEEDED, unnamed in some headers

fs::path KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    fs::path folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path != nullptr) {
        folder = fs::path(path);
    }
    ::CoTaskMemFree(path);
    return folder;
}

class WindowsEnv : public Env {
public:
    PathKind pathKind(const fs::path& path) override {
        const DWORD attributes = ::GetFileAttributesW(Win32Path(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return PathKind::Missing;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return PathKind::Directory;
        }
        return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? PathKind::Other : PathKind::RegularFile;
    }

    bool pathExists(const fs::path& path) override {
        if (::GetFileAttributesW(Win32Path(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
            return true;
        }
        // A name the system can't look at for another reason (a file in use by the system)
        // is taken all the same.
        return errorKind(LastError()) != ErrorKind::NotFound;
    }

    std::unique_ptr<PinnedFile> pinFile(const fs::path& path) override {
        return PinWindowsFile(path);
    }

    fs::path tempFolder() override {
        std::wstring buffer(MAX_PATH + 1, L'\0');
        DWORD size = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (size > buffer.size()) {
            buffer.resize(size);
            size = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        }
        buffer.resize(size <= buffer.size() ? size : 0);
        return fs::path(buffer);
    }

    int createFile(const fs::path& folder, const std::string& prefix,
                   std::unique_ptr<CreatedFile>* file) override {
        return WindowsCreatedFile::create(folder, prefix, file);
    }

    std::string errorText(int errorNumber) override {
        wchar_t* text = nullptr;
        const DWORD length =
            ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(errorNumber), 0,
                             reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        std::wstring message(text != nullptr ? text : L"", length);
        ::LocalFree(text);
        while (!message.empty() &&
               (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
            message.pop_back();
        }
        return Narrow(message);
    }

    ErrorKind errorKind(int errorNumber) override {
        switch (errorNumber) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_INVALID_DRIVE:
            case ERROR_BAD_NETPATH:
            case ERROR_BAD_NET_NAME:
            case ERROR_INVALID_NAME:
            case ERROR_CANT_RESOLVE_FILENAME:  // a link where none may be followed
                return ErrorKind::NotFound;
            case ERROR_FILE_EXISTS:
            case ERROR_ALREADY_EXISTS:
                return ErrorKind::AlreadyExists;
            case ERROR_ACCESS_DENIED:
            case ERROR_WRITE_PROTECT:
            case ERROR_NETWORK_ACCESS_DENIED:
            case ERROR_PRIVILEGE_NOT_HELD:
                return ErrorKind::AccessDenied;
            case ERROR_SHARING_VIOLATION:
            case ERROR_LOCK_VIOLATION:
                return ErrorKind::LockConflict;
            case ERROR_DISK_FULL:
            case ERROR_HANDLE_DISK_FULL:
            case kDiskQuotaExceeded:
            case ERROR_FILE_TOO_LARGE:
                return ErrorKind::NoSpace;
            case ERROR_NOT_ENOUGH_MEMORY:
            case ERROR_OUTOFMEMORY:
                return ErrorKind::OutOfMemory;
            case ERROR_FILENAME_EXCED_RANGE:
            case ERROR_BUFFER_OVERFLOW:
                return ErrorKind::NameTooLong;
            default:
                return ErrorKind::Other;
        }
    }

    std::FILE* openStdioFile(const fs::path& path, const char* mode) override {
        std::FILE* file = ::_wfopen(Win32Path(path).c_str(), Widen(mode).c_str());
        if (file == nullptr && pathKind(path) == PathKind::Directory) {
            errno = EISDIR;  // the runtime says only "permission denied" for a folder
        }
        return file;
    }

    // openReadable and openWritable exclude each other as flock does on POSIX: by a lock that
    // only they take, so that other handles of the file (a file this run created and still
    // holds, a program that only reads) neither hinder them nor are hindered.
    int openReadable(const fs::path& path, std::unique_ptr<ReadableFile>* file) override {
        Handle handle(::CreateFileW(Win32Path(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.valid()) {
            return LastError();
        }
        winsupport::FileState state;
        if (const int error = winsupport::QueryState(handle.get(), &state)) {
            return error;
        }
        if (const int error = winsupport::LockMarker(handle.get(), false)) {
            return error;
        }
        *file = std::make_unique<WindowsReadableFile>(std::move(handle), state.size);
        return 0;
    }

    int openWritable(const fs::path& path, std::unique_ptr<WritableFile>* file) override {
        // A link put in place of the file (a symbolic link, a junction, a second name of another
        // file) is refused, so that nothing written here lands elsewhere.
        Handle handle(::CreateFileW(Win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!handle.valid()) {
            return LastError();
        }
        winsupport::FileState state;
        if (const int error = winsupport::QueryState(handle.get(), &state)) {
            return error;
        }
        if ((state.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return ERROR_CANT_RESOLVE_FILENAME;
        }
        if (state.links > 1) {
            return ERROR_TOO_MANY_LINKS;
        }
        if (const int error = winsupport::LockMarker(handle.get(), true)) {
            return error;
        }
        if (const int error = winsupport::SetLength(handle.get(), 0)) {
            return error;
        }
        *file = std::make_unique<WindowsWritableFile>(std::move(handle));
        return 0;
    }

    fs::path executablePath() override {
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            const DWORD size =
                ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (size == 0) {
                return fs::path();
            }
            if (size < buffer.size()) {  // a name that did not fit is cut and fills the buffer
                buffer.resize(size);
                return winsupport::UserPath(buffer);
            }
            buffer.resize(buffer.size() * 2);
        }
    }

    fs::path homeFolder() override { return KnownFolder(FOLDERID_Profile); }

    fs::path documentsFolder() override { return KnownFolder(FOLDERID_Documents); }

    ProcessResult runProcess(const fs::path& program,
                             const std::vector<std::string>& arguments) override {
        // The child writes to this process's standard output and error, whatever they are (a
        // console, a file, a pipe), and inherits no other handle of ours.
        const Handle input = winsupport::InheritableCopy(::GetStdHandle(STD_INPUT_HANDLE));
        const Handle output = winsupport::InheritableCopy(::GetStdHandle(STD_OUTPUT_HANDLE));
        const Handle error = winsupport::InheritableCopy(::GetStdHandle(STD_ERROR_HANDLE));
        Handle child;
        ProcessResult result;
        result.startError = winsupport::StartProcess(program, arguments, input.get(), output.get(),
                                                     error.get(), 0, &child);
        return result.startError != 0 ? result : winsupport::WaitForExit(child.get());
    }

    std::unique_ptr<ChildProcesses> childProcesses() override { return NewWindowsChildProcesses(); }

    unsigned processorCount() override {
        DWORD_PTR process = 0;
        DWORD_PTR system = 0;
        if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) || process == 0) {
            return 1;
        }
        unsigned count = 0;
        for (; process != 0; process &= process - 1) {
            ++count;
        }
        return count;
    }
};

}  // namespace

Env& Env::Default() {
    static WindowsEnv env;
    return env;
}
