#pragma once

#include <cstdint>

#include "platform/ReadableFile.h"
#include "platform/WindowsSupport.h"
#include "platform/WritableFile.h"

// A file read through its handle, which this object owns.
class WindowsReadableFile : public ReadableFile {
public:
    WindowsReadableFile(winsupport::Handle handle, std::uint64_t size)
        : handle_(std::move(handle)), size_(size) {}

    int readAt(std::uint64_t offset, void* buffer, std::size_t count,
               std::size_t* bytesRead) override {
        return winsupport::ReadAt(handle_.get(), offset, buffer, count, bytesRead);
    }
    std::uint64_t size() const override { return size_; }
    HANDLE handle() const { return handle_.get(); }

private:
    winsupport::Handle handle_;
    std::uint64_t size_;
};

// A file written through its handle, which this object owns.
class WindowsWritableFile : public WritableFile {
public:
    explicit WindowsWritableFile(winsupport::Handle handle) : handle_(std::move(handle)) {}

    int writeAt(std::uint64_t offset, const void* buffer, std::size_t count) override {
        return open() ? winsupport::WriteAt(handle_.get(), offset, buffer, count)
                      : ERROR_INVALID_HANDLE;
    }
    int copyFrom(ReadableFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                 std::uint64_t count) override;
    int truncate(std::uint64_t size) override {
        return open() ? winsupport::SetLength(handle_.get(), size) : ERROR_INVALID_HANDLE;
    }
    int sync() override {
        if (!open()) {
            return ERROR_INVALID_HANDLE;
        }
        return ::FlushFileBuffers(handle_.get()) ? 0 : winsupport::LastError();
    }
    int close() override { return handle_.reset(); }
    // Block cloning is not asked for: every copy is a plain one, and 4096 keeps copies of whole
    // pages aligned.
    std::uint32_t blockSize() const override { return 4096; }

private:
    bool open() const { return handle_.valid(); }

    winsupport::Handle handle_;
};
