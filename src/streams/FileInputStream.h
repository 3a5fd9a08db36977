#pragma once

#include <memory>

#include "platform/ReadableFile.h"
#include "streams/InputStream.h"

// Reads an open disk file from a position of its own. Positions are 64-bit.
class FileInputStream : public InputStream {
public:
    explicit FileInputStream(std::unique_ptr<ReadableFile> file);

    // Lets go of the file; later reads throw IOException.
    void close() override;
    // A short count is the end of the file. A read error throws IOException with an
    // ErrnoErrorDetail, so that damaged data is never taken for a shorter file; so does
    // reading after close().
    std::size_t read(std::uint8_t* buffer, std::size_t count) override;
    int readByte() override;
    // Throws IOException "Error setting the seek pointer" for a negative position. Seeking
    // beyond the end is allowed; reads there deliver nothing.
    void seek(std::int64_t offset, SeekOrigin origin) override;
    // -1 once the file is closed.
    std::int64_t tell() override;

private:
    std::unique_ptr<ReadableFile> file_;
    std::int64_t position_ = 0;
};
