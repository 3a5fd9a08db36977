#include "streams/ZlibInputStream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "streams/ThrowZlibError.h"

namespace {
// Each call of inflate ends by saving up to a window (32 KiB) of what it produced; feeding it
// larger pieces of input lets it produce more per call, so that less of the output is copied.
constexpr std::size_t kInputBufferSize = 64 * 1024;
}  // namespace

struct ZlibReadState {
    z_stream zstream{};
    int lastResult = Z_OK;
    bool inputEnded = false;
    bool initialised = false;
    std::vector<std::uint8_t> inputBuffer = std::vector<std::uint8_t>(kInputBufferSize);

    ~ZlibReadState() {
        if (initialised) {
            inflateEnd(&zstream);
        }
    }
};

ZlibInputStream::ZlibInputStream(InputStream& inner)
    : InputStreamDecorator(inner), state_(std::make_unique<ZlibReadState>()) {
    z_stream& z = state_->zstream;
    z.next_in = state_->inputBuffer.data();
    z.avail_in = 0;
    const int result = inflateInit(&z);
    if (result != Z_OK) {
        ThrowZlibError(result, z.msg);
    }
    state_->initialised = true;
}

ZlibInputStream::~ZlibInputStream() = default;

bool ZlibInputStream::atStreamEnd() const {
    return state_->lastResult == Z_STREAM_END;
}

std::size_t ZlibInputStream::read(std::uint8_t* buffer, std::size_t count) {
    ZlibReadState& s = *state_;
    z_stream& z = s.zstream;
    if (s.lastResult == Z_STREAM_END) {
        return 0;
    }
    if (s.lastResult == Z_DATA_ERROR || s.lastResult == Z_ERRNO) {
        ThrowZlibError(s.lastResult, z.msg);
    }
    // zlib counts output space in 32 bits; a larger request is served in slices.
    std::size_t left = count;
    z.next_out = buffer;
    while (left > 0) {
        if (z.avail_in == 0 && !s.inputEnded) {
            const std::size_t got = inner().read(s.inputBuffer.data(), s.inputBuffer.size());
            if (got == 0) {
                s.inputEnded = true;
                break;
            }
            z.next_in = s.inputBuffer.data();
            z.avail_in = static_cast<uInt>(got);
        }
        const uInt space =
            static_cast<uInt>(std::min<std::size_t>(left, std::numeric_limits<uInt>::max()));
        z.avail_out = space;
        s.lastResult = inflate(&z, Z_NO_FLUSH);
        left -= space - z.avail_out;
        if (s.lastResult != Z_OK || s.inputEnded) {
            break;
        }
    }
    z.avail_out = 0;
    z.next_out = nullptr;
    if (s.lastResult != Z_OK && s.lastResult != Z_STREAM_END) {
        ThrowZlibError(s.lastResult, z.msg);
    }
    const std::size_t produced = count - left;
    delivered_ += produced;
    return produced;
}

int ZlibInputStream::readByte() {
    std::uint8_t byte = 0;
    return read(&byte, 1) == 1 ? byte : -1;
}
