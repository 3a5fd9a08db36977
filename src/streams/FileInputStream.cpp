#include "streams/FileInputStream.h"

#include <cerrno>
#include <memory>

#include "errors/DualErrorDetail.h"
#include "errors/ErrnoErrorDetail.h"
#include "errors/FileNotFoundException.h"
#include "errors/IOException.h"
#include "errors/StringErrorDetail.h"
#include "platform/Env.h"
#include "streams/LastErrorNumber.h"

FileInputStream::FileInputStream(std::filesystem::path path) : path_(std::move(path)) {
    open();
}

FileInputStream::~FileInputStream() {
    close();
}

void FileInputStream::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void FileInputStream::open() {
    if (file_ != nullptr) {
        return;
    }
    errno = 0;
    std::FILE* file = Env::Default().openStdioFile(path_, "rb");
    if (file == nullptr) {
        const int error = LastErrorNumber();
        throw FileNotFoundException(std::make_unique<DualErrorDetail>(
            std::make_unique<ErrnoErrorDetail>(error),
            std::make_unique<StringErrorDetail>(path_.u8string())));
    }
    file_ = file;
}

std::FILE* FileInputStream::openFile() {
    if (file_ == nullptr) {
        throw IOException(std::make_unique<ErrnoErrorDetail>(EBADF));
    }
    return file_;
}

std::size_t FileInputStream::read(std::uint8_t* buffer, std::size_t count) {
    std::FILE* file = openFile();
    errno = 0;
    const std::size_t got = count == 0 ? 0 : std::fread(buffer, 1, count, file);
    if (got < count && std::ferror(file)) {
        const int error = LastErrorNumber();
        std::clearerr(file);
        throw IOException(std::make_unique<ErrnoErrorDetail>(error));
    }
    return got;
}

int FileInputStream::readByte() {
    std::uint8_t byte = 0;
    return read(&byte, 1) == 1 ? byte : -1;
}

void FileInputStream::seek(std::int64_t offset, SeekOrigin origin) {
    const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                       : SEEK_END;
    if (::fseeko(openFile(), static_cast<off_t>(offset), whence) != 0) {
        throw IOException(std::make_unique<StringErrorDetail>("Error setting the seek pointer"));
    }
}

std::int64_t FileInputStream::tell() {
    return file_ == nullptr ? -1 : static_cast<std::int64_t>(::ftello(file_));
}
