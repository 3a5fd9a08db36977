#include "streams/FileOutputStream.h"

#include <cerrno>
#include <memory>

#include "errors/ErrnoErrorDetail.h"
#include "errors/IOException.h"

namespace {
[[noreturn]] void ThrowWriteError(int error) {
    throw IOException(std::make_unique<ErrnoErrorDetail>(error));
}
}  // namespace

FileOutputStream::FileOutputStream(std::unique_ptr<WritableFile> file) : file_(std::move(file)) {}

void FileOutputStream::writeByte(std::uint8_t byte) {
    write(&byte, 1);
}

void FileOutputStream::write(const std::uint8_t* buffer, std::size_t count) {
    if (file_ == nullptr) {
        ThrowWriteError(EBADF);
    }
    if (const int error = file_->writeAt(position_, buffer, count)) {
        ThrowWriteError(error);
    }
    position_ += count;
}

void FileOutputStream::close() {
    if (file_ == nullptr) {
        return;
    }
    const std::unique_ptr<WritableFile> file = std::move(file_);
    if (const int error = file->close()) {
        ThrowWriteError(error);
    }
}
