#pragma once

#include <memory>

#include "streams/OutputStreamDecorator.h"

struct ZlibWriteState;

// Deflates what is written to it (level 6, zlib format) into the wrapped stream.
class ZlibOutputStream : public OutputStreamDecorator {
public:
    // Throws IOException with a ZlibErrorDetail when the deflater cannot be set up.
    explicit ZlibOutputStream(OutputStream& inner);
    // Discards data still pending inside the deflater: call flush() or finish() first.
    ~ZlibOutputStream() override;

    void writeByte(std::uint8_t byte) override;
    void write(const std::uint8_t* buffer, std::size_t count) override;

    // Sync flush: everything written so far reaches the wrapped stream, which is then flushed.
    // The zlib stream stays open (no final block, no check value).
    void flush() override;

    // Ends the zlib stream (final block and Adler-32 trailer), writes it all to the wrapped stream
    // and flushes that. Afterwards writes throw and flush() does nothing more.
    void finish();

private:
    std::unique_ptr<ZlibWriteState> state_;
};
