#pragma once

#include <memory>

#include "streams/FileInputStream.h"
#include "streams/TempFile.h"

// Reads a temporary file back. Destroy it before the TempFile.
class TempFileInputStream : public InputStream {
public:
    explicit TempFileInputStream(const TempFile& file)
        : fileStream_(std::make_unique<FileInputStream>(file.path())) {}

    std::size_t read(std::uint8_t* buffer, std::size_t count) override {
        return fileStream_->read(buffer, count);
    }
    int readByte() override { return fileStream_->readByte(); }
    void seek(std::int64_t offset, SeekOrigin origin) override {
        fileStream_->seek(offset, origin);
    }
    std::int64_t tell() override { return fileStream_->tell(); }

private:
    std::unique_ptr<FileInputStream> fileStream_;
};
