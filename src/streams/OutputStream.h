#pragma once

#include <cstddef>
#include <cstdint>

// A sink of bytes. Failures are exceptions of the Exception family; a write either takes all
// its bytes or throws.
class OutputStream {
public:
    OutputStream() = default;
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;
    virtual ~OutputStream() = default;

    // Pushes buffered bytes on towards their destination; throws when that fails.
    virtual void flush() {}

    virtual void writeByte(std::uint8_t byte) = 0;

    // Default: writeByte() for each byte in order.
    virtual void write(const std::uint8_t* buffer, std::size_t count);
};
