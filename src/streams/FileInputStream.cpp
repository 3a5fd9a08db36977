#include "streams/FileInputStream.h"

#include <cerrno>
#include <memory>

#include "errors/ErrnoErrorDetail.h"
#include "errors/IOException.h"
#include "errors/StringErrorDetail.h"

FileInputStream::FileInputStream(std::unique_ptr<ReadableFile> file) : file_(std::move(file)) {}

void FileInputStream::close() {
    file_.reset();
}

std::size_t FileInputStream::read(std::uint8_t* buffer, std::size_t count) {
    if (file_ == nullptr) {
        throw IOException(std::make_unique<ErrnoErrorDetail>(EBADF));
    }
    std::size_t got = 0;
    if (const int error =
            file_->readAt(static_cast<std::uint64_t>(position_), buffer, count, &got)) {
        throw IOException(std::make_unique<ErrnoErrorDetail>(error));
    }
    position_ += static_cast<std::int64_t>(got);
    return got;
}

int FileInputStream::readByte() {
    std::uint8_t byte = 0;
    return read(&byte, 1) == 1 ? byte : -1;
}

void FileInputStream::seek(std::int64_t offset, SeekOrigin origin) {
    const std::int64_t base = origin == SeekOrigin::Begin     ? 0
                              : origin == SeekOrigin::Current ? position_
                              : file_ != nullptr ? static_cast<std::int64_t>(file_->size())
                                                 : -1;
    if (base < 0 || base + offset < 0) {
        throw IOException(std::make_unique<StringErrorDetail>("Error setting the seek pointer"));
    }
    position_ = base + offset;
}

std::int64_t FileInputStream::tell() {
    return file_ == nullptr ? -1 : position_;
}
