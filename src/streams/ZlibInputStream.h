#pragma once

#include <memory>

#include "streams/InputStreamDecorator.h"

struct ZlibReadState;

// Inflates zlib-format data (header and Adler-32 check) read from the wrapped stream.
// Data that stops without its end marker yields what could be decompressed.
class ZlibInputStream : public InputStreamDecorator {
public:
    // Throws IOException with a ZlibErrorDetail when the inflater cannot be set up.
    explicit ZlibInputStream(InputStream& inner);
    ~ZlibInputStream() override;

    std::size_t read(std::uint8_t* buffer, std::size_t count) override;
    int readByte() override;
    // The number of decompressed bytes delivered so far.
    std::int64_t tell() override { return static_cast<std::int64_t>(delivered_); }

    // True once the compressed data's end marker (and check value) has been read.
    bool atStreamEnd() const;

private:
    std::unique_ptr<ZlibReadState> state_;
    std::uint64_t delivered_ = 0;
};
