#pragma once

#include <vector>

#include "streams/OutputStreamDecorator.h"

// Collects small writes into one buffer so that the stream below sees few large writes.
// flush() (or destruction, best effort) passes the collected bytes on.
class BufferedOutputStream : public OutputStreamDecorator {
public:
    static constexpr std::size_t kDefaultCapacity = 64 * 1024;

    explicit BufferedOutputStream(OutputStream& inner, std::size_t capacity = kDefaultCapacity);
    ~BufferedOutputStream() override;

    void flush() override;
    void writeByte(std::uint8_t byte) override { write(&byte, 1); }
    void write(const std::uint8_t* buffer, std::size_t count) override;

private:
    void drain();

    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
};
