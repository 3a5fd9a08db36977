#include "streams/CopyStream.h"

std::uint64_t copyStream(InputStream& in, OutputStream& out) {
    constexpr std::size_t kChunk = 8192;
    std::uint8_t buffer[kChunk];
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t got = in.read(buffer, kChunk);
        out.write(buffer, got);
        total += got;
        if (got < kChunk) {
            return total;
        }
    }
}
