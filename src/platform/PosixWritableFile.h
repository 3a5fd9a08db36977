#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/PosixFileDescriptor.h"
#include "platform/PosixFileIO.h"
#include "platform/PosixReadableFile.h"
#include "platform/WritableFile.h"

// A file written through its descriptor, which this object owns.
class PosixWritableFile : public WritableFile {
public:
    explicit PosixWritableFile(int fd) : fd_(fd), blockSize_(blockSizeOf(fd)) {}

    int writeAt(std::uint64_t offset, const void* buffer, std::size_t count) override {
        return fd_.valid() ? posixio::writeFully(fd_.get(), offset, buffer, count) : EBADF;
    }
    int copyFrom(ReadableFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                 std::uint64_t count) override {
        if (!fd_.valid()) {
            return EBADF;
        }
        if (auto* posix = dynamic_cast<PosixReadableFile*>(&source)) {
            return posixio::copyRange(posix->descriptor(), sourceOffset, fd_.get(), offset, count);
        }
        std::vector<unsigned char> buffer(std::min<std::uint64_t>(count, kCopyChunk));
        while (count > 0) {
            const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyChunk));
            std::size_t got = 0;
            if (const int error = source.readAt(sourceOffset, buffer.data(), chunk, &got)) {
                return error;
            }
            if (got < chunk) {
                return EIO;
            }
            if (const int error = posixio::writeFully(fd_.get(), offset, buffer.data(), chunk)) {
                return error;
            }
            sourceOffset += chunk;
            offset += chunk;
            count -= chunk;
        }
        return 0;
    }
    int truncate(std::uint64_t size) override {
        if (!fd_.valid()) {
            return EBADF;
        }
        return ::ftruncate(fd_.get(), static_cast<off_t>(size)) == 0 ? 0 : errno;
    }
    int sync() override {
        if (!fd_.valid()) {
            return EBADF;
        }
        return ::fdatasync(fd_.get()) == 0 ? 0 : errno;
    }
    int close() override { return fd_.reset(); }
    std::uint32_t blockSize() const override { return blockSize_; }

private:
    static constexpr std::uint64_t kCopyChunk = 1 << 20;

    // The file system's preferred block size where it is a power of two from 4096 to 65536.
    static std::uint32_t blockSizeOf(int fd) {
        struct stat st {};
        const auto size = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_blksize) : 0;
        const bool powerOfTwo = size != 0 && (size & (size - 1)) == 0;
        return powerOfTwo && size >= 4096 && size <= 65536 ? static_cast<std::uint32_t>(size)
                                                           : 4096;
    }

    PosixFileDescriptor fd_;
    std::uint32_t blockSize_;
};
