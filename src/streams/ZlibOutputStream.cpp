#include "streams/ZlibOutputStream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "streams/ThrowZlibError.h"

namespace {
constexpr std::size_t kOutputBufferSize = 8192;
constexpr int kLevel = 6;
constexpr int kWindowBits = 15;  // zlib format: header and Adler-32 trailer
constexpr int kMemoryLevel = 8;
}  // namespace

struct ZlibWriteState {
    z_stream zstream{};
    int lastResult = Z_OK;
    bool initialised = false;
    bool finished = false;
    std::vector<std::uint8_t> outputBuffer = std::vector<std::uint8_t>(kOutputBufferSize);

    ~ZlibWriteState() {
        if (initialised) {
            deflateEnd(&zstream);
        }
    }

    std::size_t pending() const { return outputBuffer.size() - zstream.avail_out; }

    // Hands the compressed bytes collected so far to `out` and makes the whole buffer free.
    void drainTo(OutputStream& out) {
        if (const std::size_t count = pending()) {
            out.write(outputBuffer.data(), count);
        }
        zstream.next_out = outputBuffer.data();
        zstream.avail_out = static_cast<uInt>(outputBuffer.size());
    }
};

ZlibOutputStream::ZlibOutputStream(OutputStream& inner)
    : OutputStreamDecorator(inner), state_(std::make_unique<ZlibWriteState>()) {
    z_stream& z = state_->zstream;
    const int result =
        deflateInit2(&z, kLevel, Z_DEFLATED, kWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY);
    if (result != Z_OK) {
        ThrowZlibError(result, z.msg);
    }
    state_->initialised = true;
    z.next_out = state_->outputBuffer.data();
    z.avail_out = static_cast<uInt>(state_->outputBuffer.size());
}

ZlibOutputStream::~ZlibOutputStream() = default;

void ZlibOutputStream::writeByte(std::uint8_t byte) {
    write(&byte, 1);
}

void ZlibOutputStream::write(const std::uint8_t* buffer, std::size_t count) {
    if (count == 0) {
        return;
    }
    ZlibWriteState& s = *state_;
    z_stream& z = s.zstream;
    if (s.finished) {
        ThrowZlibError(Z_STREAM_ERROR, "write after the end of the compressed data");
    }
    // zlib counts input in 32 bits; a larger buffer is given in slices.
    std::size_t left = count;
    z.next_in = const_cast<Bytef*>(buffer);
    while (left > 0) {
        const uInt slice =
            static_cast<uInt>(std::min<std::size_t>(left, std::numeric_limits<uInt>::max()));
        z.avail_in = slice;
        while (z.avail_in > 0) {
            if (z.avail_out == 0) {
                s.drainTo(inner());
            }
            s.lastResult = deflate(&z, Z_NO_FLUSH);
            if (s.lastResult != Z_OK) {
                ThrowZlibError(s.lastResult, z.msg);
            }
        }
        left -= slice;
    }
}

void ZlibOutputStream::flush() {
    ZlibWriteState& s = *state_;
    z_stream& z = s.zstream;
    if (!s.finished) {
        z.avail_in = 0;
        bool done = false;
        for (;;) {
            const bool hadPending = s.pending() != 0;
            s.drainTo(inner());
            if (done) {
                break;
            }
            s.lastResult = deflate(&z, Z_SYNC_FLUSH);
            // With nothing new since the last flush zlib cannot make progress: not an error.
            if (!hadPending && s.lastResult == Z_BUF_ERROR) {
                s.lastResult = Z_OK;
            }
            done = z.avail_out != 0 || s.lastResult == Z_STREAM_END;
            if (s.lastResult != Z_OK && s.lastResult != Z_STREAM_END) {
                ThrowZlibError(s.lastResult, z.msg);
            }
        }
    }
    inner().flush();
}

void ZlibOutputStream::finish() {
    ZlibWriteState& s = *state_;
    z_stream& z = s.zstream;
    if (!s.finished) {
        z.avail_in = 0;
        for (;;) {
            if (z.avail_out == 0) {
                s.drainTo(inner());
            }
            s.lastResult = deflate(&z, Z_FINISH);
            if (s.lastResult == Z_STREAM_END) {
                break;
            }
            if (s.lastResult != Z_OK) {
                ThrowZlibError(s.lastResult, z.msg);
            }
        }
        s.drainTo(inner());
        s.finished = true;
    }
    inner().flush();
}
