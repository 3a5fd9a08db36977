#pragma once

#include <cstdint>

#include "platform/PosixFileDescriptor.h"
#include "platform/PosixFileIO.h"
#include "platform/ReadableFile.h"

// A file read through its descriptor, which this object owns.
class PosixReadableFile : public ReadableFile {
public:
    PosixReadableFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

    int readAt(std::uint64_t offset, void* buffer, std::size_t count,
               std::size_t* bytesRead) override {
        return posixio::readFully(fd_.get(), offset, buffer, count, bytesRead);
    }
    std::uint64_t size() const override { return size_; }
    int descriptor() const { return fd_.get(); }

private:
    PosixFileDescriptor fd_;
    std::uint64_t size_;
};
