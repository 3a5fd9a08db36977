#pragma once

#include "streams/InputStreamDecorator.h"

// Delivers at most a given number of bytes of the wrapped stream.
class LimitedInputStream : public InputStreamDecorator {
public:
    LimitedInputStream(InputStream& inner, std::uint64_t count)
        : InputStreamDecorator(inner), remaining_(count) {}

    std::size_t read(std::uint8_t* buffer, std::size_t count) override;
    int readByte() override;
    std::uint64_t skip(std::uint64_t count) override;

    std::uint64_t remaining() const { return remaining_; }

private:
    std::uint64_t remaining_;
};
