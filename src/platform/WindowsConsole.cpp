#include "platform/WindowsConsole.h"

#include <windows.h>

#include <iostream>
#include <streambuf>
#include <string>

#include "platform/Console.h"
#include "platform/WindowsSupport.h"

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

// The length of the longest start of `text` that ends on a whole UTF-8 character, so that a
// character cut by a full buffer is written whole with the next piece.
std::size_t WholeCharacters(const std::string& text) {
    std::size_t end = text.size();
    std::size_t back = 0;
    while (back < 4 && back < end &&
           (static_cast<unsigned char>(text[end - 1 - back]) & 0xC0) == 0x80) {
        ++back;
    }
    if (back == end) {
        return end;
    }
    const auto lead = static_cast<unsigned char>(text[end - 1 - back]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return length > back + 1 ? end - 1 - back : end;
}

class StandardStreamBuffer : public std::streambuf {
public:
    explicit StandardStreamBuffer(DWORD which)
        : handle_(::GetStdHandle(which)), console_(IsConsole(handle_)) {}

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            pending_ += static_cast<char>(c);
            if (pending_.size() >= kBufferSize) {
                writeWhole();
            }
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        if (pending_.size() >= kBufferSize) {
            writeWhole();
        }
        return count;
    }
    int sync() override {
        write(pending_);
        pending_.clear();
        return 0;
    }

private:
    static constexpr std::size_t kBufferSize = 4096;

    void writeWhole() {
        const std::size_t whole = WholeCharacters(pending_);
        write(pending_.substr(0, whole));
        pending_.erase(0, whole);
    }

    void write(const std::string& text) {
        if (text.empty() || handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
            return;
        }
        if (console_) {
            const std::wstring wide = winsupport::Widen(text);
            DWORD written = 0;
            ::WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written,
                            nullptr);
            return;
        }
        std::string bytes;
        bytes.reserve(text.size() + text.size() / 16);
        for (const char c : text) {
            if (c == '\n' && !lastWasReturn_) {
                bytes += '\r';
            }
            bytes += c;
            lastWasReturn_ = c == '\r';
        }
        DWORD written = 0;
        ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

    HANDLE handle_;
    bool console_;
    bool lastWasReturn_ = false;
    std::string pending_;
};

}  // namespace

bool StdoutIsTerminal() {
    return IsConsole(::GetStdHandle(STD_OUTPUT_HANDLE));
}

bool StderrIsTerminal() {
    return IsConsole(::GetStdHandle(STD_ERROR_HANDLE));
}

void InstallConsoleStreams() {
    static StandardStreamBuffer output(STD_OUTPUT_HANDLE);
    static StandardStreamBuffer error(STD_ERROR_HANDLE);
    std::cout.rdbuf(&output);
    std::cerr.rdbuf(&error);
    std::cerr.setf(std::ios::unitbuf);
}
