#pragma once

#include "streams/OutputStream.h"
#include "support/Bytes.h"

namespace fixtures {

// Collects what is written to it; counts flushes.
class MemoryOutputStream : public OutputStream {
public:
    void writeByte(std::uint8_t byte) override { data.push_back(byte); }
    void write(const std::uint8_t* buffer, std::size_t count) override {
        data.insert(data.end(), buffer, buffer + count);
    }
    void flush() override { ++flushes; }

    Bytes data;
    int flushes = 0;
};

}  // namespace fixtures
