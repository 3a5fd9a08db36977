#pragma once

#include "streams/InputStream.h"
#include "streams/OLEStream.h"

// Reads an OLEStream's input stream. Reading past its end throws (the OLEStream read rule), so
// readByte() never returns -1 at the end; readers know their lengths from the data itself.
class OLEStreamInputStream : public InputStream {
public:
    explicit OLEStreamInputStream(OLEStream& stream) : stream_(stream) {}

    std::size_t read(std::uint8_t* buffer, std::size_t count) override {
        return stream_.read(buffer, count);
    }
    int readByte() override {
        std::uint8_t byte = 0;
        return read(&byte, 1) == 1 ? byte : -1;
    }
    void seek(std::int64_t offset, SeekOrigin origin) override { stream_.seek(offset, origin); }
    std::int64_t tell() override { return stream_.tell(); }

private:
    OLEStream& stream_;
};
