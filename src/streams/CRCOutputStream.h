#pragma once

#include <cstdint>

#include "streams/OutputStreamDecorator.h"

// Passes every byte on and keeps the CRC-32 (ISO 3309, zlib's crc32) of all bytes written.
class CRCOutputStream : public OutputStreamDecorator {
public:
    explicit CRCOutputStream(OutputStream& inner) : OutputStreamDecorator(inner) {}

    void writeByte(std::uint8_t byte) override { write(&byte, 1); }
    void write(const std::uint8_t* buffer, std::size_t count) override;

    std::uint32_t crc() const { return crc_; }

private:
    std::uint32_t crc_ = 0;
};
