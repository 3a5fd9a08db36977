#include <windows.h>

#include <map>

#include "ScratchFolder.h"
#include "platform/WindowsSupport.h"
#include "support/RunProgram.h"

namespace fixtures {

namespace {

using winsupport::Handle;

constexpr int kSetupFailed = 125;

Handle Inheritable(HANDLE handle) {
    if (handle != INVALID_HANDLE_VALUE) {
        ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    return Handle(handle);
}

Handle CreateForWriting(const std::filesystem::path& path) {
    return Inheritable(::CreateFileW(winsupport::Win32Path(path).c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

// This process's environment with the given "NAME=value" entries added or replacing theirs,
// as the block CreateProcessW takes.
std::wstring EnvironmentBlock(const std::vector<std::string>& extra) {
    std::map<std::wstring, std::wstring> entries;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
            const std::wstring text = entry;
            const std::size_t equals = text.find(L'=', 1);
            entries[text.substr(0, equals)] = text;
        }
        ::FreeEnvironmentStringsW(block);
    }
    for (const std::string& entry : extra) {
        const std::wstring text = winsupport::Widen(entry);
        entries[text.substr(0, text.find(L'=', 1))] = text;
    }
    std::wstring result;
    for (const auto& [name, text] : entries) {
        result += text;
        result += L'\0';
    }
    result += L'\0';
    return result;
}

}  // namespace

RunOutput Run(const std::filesystem::path& program, const std::vector<std::string>& arguments,
              const RunOptions& options) {
    ScratchFolder io;
    const std::filesystem::path outPath = io / "out";
    const std::filesystem::path errPath = io / "err";
    Handle in = Inheritable(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    Handle out;
    if (options.standardOutput == StandardOutput::ClosedPipe) {
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        if (::CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
            ::CloseHandle(readEnd);
            out = Inheritable(writeEnd);
        }
    } else {
        out = CreateForWriting(outPath);  // a console is not at hand: a file stands in
    }
    Handle err = CreateForWriting(errPath);

    std::wstring commandLine = winsupport::CommandLine(program, arguments);
    std::wstring environment = EnvironmentBlock(options.environment);
    const std::wstring folder = options.workingFolder.wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION process{};
    RunOutput result;
    if (!::CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_UNICODE_ENVIRONMENT, environment.data(),
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        result.exitCode = kSetupFailed;
        return result;
    }
    const Handle child(process.hProcess);
    const Handle thread(process.hThread);
    in.reset();
    out.reset();
    err.reset();
    DWORD status = 0;
    ::WaitForSingleObject(child.get(), INFINITE);
    ::GetExitCodeProcess(child.get(), &status);
    result.exitCode = static_cast<int>(status);
    if (options.standardOutput != StandardOutput::ClosedPipe) {
        result.out = ReadFileBytes(outPath);
    }
    result.err = ReadFileBytes(errPath);
    return result;
}

std::string WithLineFeeds(std::string text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            result += text[i];
        }
    }
    return result;
}

}  // namespace fixtures
