#pragma once

#include "streams/OLEStream.h"
#include "streams/OutputStream.h"

// Writes an OLEStream's output stream.
class OLEStreamOutputStream : public OutputStream {
public:
    explicit OLEStreamOutputStream(OLEStream& stream) : stream_(stream) {}

    void writeByte(std::uint8_t byte) override { write(&byte, 1); }
    void write(const std::uint8_t* buffer, std::size_t count) override {
        stream_.write(buffer, count);
    }

private:
    OLEStream& stream_;
};
