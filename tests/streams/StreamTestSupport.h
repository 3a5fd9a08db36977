#pragma once

#include <functional>
#include <string>
#include <vector>

#include "errors/Exception.h"
#include "errors/FullMessage.h"
#include "streams/InputStream.h"
#include "support/MemoryInputStream.h"
#include "support/MemoryOutputStream.h"

using fixtures::MemoryInputStream;
using fixtures::MemoryOutputStream;

// The full message of what `action` throws, or "no exception".
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& exception) {
        return FullMessage(exception);
    }
    return "no exception";
}

// A stream with only readByte(), to exercise the default read() and skip().
class ByteOnlyInputStream : public InputStream {
public:
    explicit ByteOnlyInputStream(std::size_t size) : size_(size) {}
    int readByte() override {
        ++byteReads;
        return position_ < size_ ? static_cast<int>(position_++ & 0xFF) : -1;
    }
    std::int64_t tell() override { return static_cast<std::int64_t>(position_); }

    int byteReads = 0;

private:
    std::size_t size_;
    std::size_t position_ = 0;
};

// Bytes that deflate poorly, so that compressed data spans several buffers.
inline std::string NoiseBytes(std::size_t size, std::uint32_t seed = 12345) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}
