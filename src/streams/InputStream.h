#pragma once

#include <cstddef>
#include <cstdint>

#include "streams/SeekOrigin.h"

// A source of bytes. read() returning fewer bytes than asked, and readByte() returning -1,
// are the normal end of data; failures are exceptions of the Exception family.
class InputStream {
public:
    InputStream() = default;
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;
    virtual ~InputStream() = default;

    virtual void close() {}
    virtual void open() {}

    // Default: byte by byte through readByte(); every concrete stream overrides it.
    virtual std::size_t read(std::uint8_t* buffer, std::size_t count);

    // The next byte (0..255), or -1 when no byte is left.
    virtual int readByte() = 0;

    // Default: throws SeekNotSupportedException.
    virtual void seek(std::int64_t offset, SeekOrigin origin);

    // Reads and discards up to `count` bytes through read(); returns how many were skipped.
    virtual std::uint64_t skip(std::uint64_t count);

    virtual std::int64_t tell() = 0;
};
