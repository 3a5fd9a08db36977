#pragma once

#include <string>
#include <vector>

#include "streams/OutputStream.h"
#include "support/Bytes.h"

namespace fixtures {

// Collects what is written to it; records the count of every write() call and counts flushes.
class MemoryOutputStream : public OutputStream {
public:
    void writeByte(std::uint8_t byte) override { data.push_back(byte); }
    void write(const std::uint8_t* buffer, std::size_t count) override {
        writes.push_back(count);
        data.insert(data.end(), buffer, buffer + count);
    }
    void flush() override { ++flushes; }

    // What was written, as text.
    std::string text() const { return std::string(data.begin(), data.end()); }

    Bytes data;
    std::vector<std::size_t> writes;
    int flushes = 0;
};

}  // namespace fixtures
