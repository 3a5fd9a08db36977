#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "errors/Exception.h"
#include "errors/FullMessage.h"
#include "streams/InputStream.h"
#include "streams/OutputStream.h"

// The full message of what `action` throws, or "no exception".
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& exception) {
        return FullMessage(exception);
    }
    return "no exception";
}

// An input stream over bytes in memory that records what it is asked for.
class MemoryInputStream : public InputStream {
public:
    explicit MemoryInputStream(std::string bytes) : bytes_(std::move(bytes)) {}

    std::size_t read(std::uint8_t* buffer, std::size_t count) override {
        requests.push_back(count);
        const std::size_t n = std::min(count, bytes_.size() - position_);
        std::memcpy(buffer, bytes_.data() + position_, n);
        position_ += n;
        return n;
    }
    int readByte() override {
        ++byteReads;
        return position_ < bytes_.size() ? static_cast<std::uint8_t>(bytes_[position_++]) : -1;
    }
    void seek(std::int64_t offset, SeekOrigin origin) override {
        position_ = static_cast<std::size_t>(
            offset + (origin == SeekOrigin::Begin     ? 0
                      : origin == SeekOrigin::Current ? static_cast<std::int64_t>(position_)
                                                      : static_cast<std::int64_t>(bytes_.size())));
    }
    std::int64_t tell() override { return static_cast<std::int64_t>(position_); }

    std::vector<std::size_t> requests;  // the count of every read() call
    int byteReads = 0;

private:
    std::string bytes_;
    std::size_t position_ = 0;
};

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

// An output stream that keeps what is written and counts flushes.
class MemoryOutputStream : public OutputStream {
public:
    void writeByte(std::uint8_t byte) override { bytes.push_back(static_cast<char>(byte)); }
    void write(const std::uint8_t* buffer, std::size_t count) override {
        writes.push_back(count);
        bytes.append(reinterpret_cast<const char*>(buffer), count);
    }
    void flush() override { ++flushes; }

    std::string bytes;
    std::vector<std::size_t> writes;  // the count of every write() call
    int flushes = 0;
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
