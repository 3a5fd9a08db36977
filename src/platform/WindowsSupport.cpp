#include "platform/WindowsSupport.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace fs = std::filesystem;

namespace winsupport {

namespace {

constexpr std::size_t kChunk = 1 << 20;
constexpr int kUniqueTries = 100;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::int64_t Ticks(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

// Positions the file for the next read or write. A handle of these files is used by one thread
// at a time; positioning and a plain read cost far less than an OVERLAPPED read under some
// implementations of the system.
bool Seek(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

// One argument as the readers of a command line take it back: quoted when it holds blanks or
// quotes or is empty, with the backslashes before a quote (and at the end, before the closing
// quote) doubled.
std::wstring QuotedArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

}  // namespace

std::wstring CommandLine(const fs::path& program, const std::vector<std::string>& arguments) {
    std::wstring line = QuotedArgument(program.wstring());
    for (const std::string& argument : arguments) {
        line += L' ' + QuotedArgument(Widen(argument));
    }
    return line;
}

Handle InheritableCopy(HANDLE handle) {
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS)) {
        return Handle();
    }
    return Handle(copy);
}

int StartProcess(const fs::path& program, const std::vector<std::string>& arguments, HANDLE input,
                 HANDLE output, HANDLE error, DWORD flags, Handle* process) {
    std::wstring commandLine = CommandLine(program, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = error;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          flags, nullptr, nullptr, &startup, &started)) {
        return LastError();
    }
    ::CloseHandle(started.hThread);
    *process = Handle(started.hProcess);
    return 0;
}

ProcessResult WaitForExit(HANDLE process) {
    ProcessResult result;
    DWORD status = 0;
    if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process, &status)) {
        result.startError = LastError();
        return result;
    }
    result.exited = true;
    result.exitStatus = static_cast<int>(status);
    return result;
}

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) {
        return std::wstring();
    }
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          size);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) {
        return std::string();
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size,
                          nullptr, nullptr);
    return utf8;
}

std::wstring Win32Path(const fs::path& path) {
    const std::wstring given = path.wstring();
    if (given.empty() || StartsWith(given, L"\\\\?\\") || StartsWith(given, L"\\\\.\\")) {
        return given;
    }
    // Completes the path against the current folder, turns "/" into "\" and resolves "." and
    // "..": what the system does for a short path, which the extended form leaves undone.
    DWORD size = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    std::wstring full;
    while (size > full.size()) {
        full.resize(size);
        size = ::GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    }
    if (size == 0) {
        return given;
    }
    full.resize(size);
    if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) {
        return full;
    }
    if (StartsWith(full, L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

fs::path UserPath(std::wstring path) {
    if (StartsWith(path, L"\\\\?\\UNC\\")) {
        return fs::path(L"\\\\" + path.substr(8));
    }
    if (StartsWith(path, L"\\\\?\\") && path.size() >= 6 && path[5] == L':') {
        return fs::path(path.substr(4));
    }
    return fs::path(path);
}

int QueryState(HANDLE file, FileState* state) {
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    if (!::GetFileInformationByHandle(file, &info) ||
        !::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        return LastError();
    }
    state->volume = info.dwVolumeSerialNumber;
    state->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    state->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    state->links = info.nNumberOfLinks;
    state->attributes = info.dwFileAttributes;
    state->creationTime = Ticks(info.ftCreationTime);
    state->lastAccessTime = Ticks(info.ftLastAccessTime);
    state->lastWriteTime = Ticks(info.ftLastWriteTime);
    state->changeTime = basic.ChangeTime.QuadPart;
    return 0;
}

int OpenForAttributes(const fs::path& path, Handle* handle) {
    *handle = Handle(::CreateFileW(
        Win32Path(path).c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return handle->valid() ? 0 : LastError();
}

int ReadAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t count, std::size_t* done) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    *done = 0;
    while (*done < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - *done, 1u << 30));
        DWORD got = 0;
        if (!Seek(file, offset + *done) || !::ReadFile(file, bytes + *done, chunk, &got, nullptr)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF) {
                break;
            }
            return static_cast<int>(error);
        }
        if (got == 0) {
            break;
        }
        *done += got;
    }
    return 0;
}

int WriteAt(HANDLE file, std::uint64_t offset, const void* buffer, std::size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD written = 0;
        if (!Seek(file, offset + done) ||
            !::WriteFile(file, bytes + done, chunk, &written, nullptr)) {
            return LastError();
        }
        done += written;
    }
    return 0;
}

int CopyBytes(HANDLE from, std::uint64_t fromOffset, HANDLE to, std::uint64_t toOffset,
              std::uint64_t count) {
    std::vector<unsigned char> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunk)));
    while (count > 0) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
        std::size_t got = 0;
        if (const int error = ReadAt(from, fromOffset, buffer.data(), chunk, &got)) {
            return error;
        }
        if (got < chunk) {
            return ERROR_HANDLE_EOF;
        }
        if (const int error = WriteAt(to, toOffset, buffer.data(), chunk)) {
            return error;
        }
        fromOffset += chunk;
        toOffset += chunk;
        count -= chunk;
    }
    return 0;
}

int SetLength(HANDLE file, std::uint64_t length) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) ? 0
                                                                                   : LastError();
}

int LockMarker(HANDLE file, bool exclusive) {
    constexpr std::uint64_t kMarker = 0x7FFFFFFFFFFFFFFEull;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(kMarker);
    at.OffsetHigh = static_cast<DWORD>(kMarker >> 32);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return ::LockFileEx(file, flags, 0, 1, 0, &at) ? 0 : LastError();
}

int CreateUnique(const fs::path& folder, const std::string& prefix, Handle* file,
                 fs::path* created) {
    std::random_device seed;
    std::mt19937 random(seed() ^ ::GetCurrentProcessId() ^ ::GetTickCount());
    int error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kUniqueTries && error == ERROR_FILE_EXISTS; ++attempt) {
        char unique[16];
        std::snprintf(unique, sizeof unique, "%08x", static_cast<unsigned>(random()));
        const fs::path path = folder / fs::u8path(prefix + unique + ".tmp");
        *file = Handle(::CreateFileW(Win32Path(path).c_str(),
                                     GENERIC_READ | GENERIC_WRITE | READ_CONTROL | WRITE_DAC,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file->valid()) {
            *created = path;
            return 0;
        }
        error = LastError();
        if (error == ERROR_ALREADY_EXISTS) {
            error = ERROR_FILE_EXISTS;
        }
    }
    return error;
}

}  // namespace winsupport
