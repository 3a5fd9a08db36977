#include "streams/FileOutputStream.h"

#include <cerrno>
#include <memory>

#include "errors/ErrnoErrorDetail.h"
#include "errors/FileCreateException.h"
#include "errors/IOException.h"
#include "platform/Env.h"
#include "streams/LastErrorNumber.h"

namespace {
[[noreturn]] void ThrowWriteError(int error) {
    throw IOException(std::make_unique<ErrnoErrorDetail>(error));
}
}  // namespace

FileOutputStream::FileOutputStream(const std::filesystem::path& path, bool append) {
    errno = 0;
    file_ = Env::Default().openStdioFile(path, append ? "ab" : "wb");
    if (file_ == nullptr) {
        throw FileCreateException(std::make_unique<ErrnoErrorDetail>(LastErrorNumber()));
    }
}

FileOutputStream::~FileOutputStream() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::FILE* FileOutputStream::openFile() {
    if (file_ == nullptr) {
        ThrowWriteError(EBADF);
    }
    return file_;
}

void FileOutputStream::flush() {
    if (file_ == nullptr) {
        return;
    }
    errno = 0;
    if (std::fflush(file_) != 0) {
        ThrowWriteError(LastErrorNumber());
    }
}

void FileOutputStream::writeByte(std::uint8_t byte) {
    std::FILE* file = openFile();
    errno = 0;
    if (std::fputc(byte, file) == EOF) {
        ThrowWriteError(LastErrorNumber());
    }
}

void FileOutputStream::write(const std::uint8_t* buffer, std::size_t count) {
    std::FILE* file = openFile();
    if (count == 0) {
        return;
    }
    errno = 0;
    if (std::fwrite(buffer, 1, count, file) != count) {
        ThrowWriteError(LastErrorNumber());
    }
}

void FileOutputStream::close() {
    if (file_ == nullptr) {
        return;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    // fclose writes out the buffer first and reports a failure of that write too.
    if (std::fclose(file) != 0) {
        ThrowWriteError(LastErrorNumber());
    }
}
