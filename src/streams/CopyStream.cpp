#include "streams/CopyStream.h"

#include <vector>

std::uint64_t copyStream(InputStream& in, OutputStream& out, std::size_t chunkSize) {
    std::vector<std::uint8_t> buffer(chunkSize);
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t got = in.read(buffer.data(), chunkSize);
        out.write(buffer.data(), got);
        total += got;
        if (got < chunkSize) {
            return total;
        }
    }
}
