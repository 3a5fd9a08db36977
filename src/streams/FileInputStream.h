#pragma once

#include <cstdio>
#include <filesystem>

#include "streams/InputStream.h"

// Reads a disk file through the C runtime's buffered file functions.
class FileInputStream : public InputStream {
public:
    // Opens the file; throws FileNotFoundException with a DualErrorDetail
    // (ErrnoErrorDetail, StringErrorDetail holding the path) when it cannot.
    explicit FileInputStream(std::filesystem::path path);
    ~FileInputStream() override;

    void close() override;
    void open() override;
    std::size_t read(std::uint8_t* buffer, std::size_t count) override;
    int readByte() override;
    // Throws IOException "Error setting the seek pointer" when the runtime refuses.
    void seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t tell() override;

private:
    std::FILE* file_ = nullptr;
    std::filesystem::path path_;
};
