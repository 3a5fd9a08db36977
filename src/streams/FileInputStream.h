#pragma once

#include <cstdio>
#include <filesystem>

#include "streams/InputStream.h"

// Reads a disk file through the C runtime's buffered file functions. Positions are 64-bit.
class FileInputStream : public InputStream {
public:
    // Opens the file; throws FileNotFoundException with a DualErrorDetail
    // (ErrnoErrorDetail, StringErrorDetail holding the path) when it cannot, or when the path
    // names a folder.
    explicit FileInputStream(std::filesystem::path path);
    ~FileInputStream() override;

    void close() override;
    // Opens the file again after close(); does nothing while it is open.
    void open() override;
    // A short count is the end of the file. A read error throws IOException with an
    // ErrnoErrorDetail, so that damaged data is never taken for a shorter file; so does
    // reading after close().
    std::size_t read(std::uint8_t* buffer, std::size_t count) override;
    int readByte() override;
    // Throws IOException "Error setting the seek pointer" when the runtime refuses (a negative
    // position, for instance). Seeking beyond the end is allowed; reads there deliver nothing.
    void seek(std::int64_t offset, SeekOrigin origin) override;
    // -1 when the position cannot be told (or the file is closed).
    std::int64_t tell() override;

private:
    std::FILE* openFile();

    std::FILE* file_ = nullptr;
    std::filesystem::path path_;
};
