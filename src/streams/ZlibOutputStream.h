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
    // The zlib stream stays open (no final block, no check value): a reader must know the
    // length, and standard zlib readers reject such data as incomplete. A second flush in a
    // row adds nothing.
    void flush() override;

    // Ends the zlib stream (final block and Adler-32 trailer), writes it all to the wrapped stream
    // and flushes that. A second call does nothing more. Afterwards writes throw IOException
    // (Z_STREAM_ERROR) and flush() only flushes the wrapped stream.
    void finish();

private:
    std::unique_ptr<ZlibWriteState> state_;
};
