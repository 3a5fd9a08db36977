#include "streams/InputStream.h"

#include <algorithm>

#include "errors/SeekNotSupportedException.h"

std::size_t InputStream::read(std::uint8_t* buffer, std::size_t count) {
    std::size_t stored = 0;
    while (stored < count) {
        const int byte = readByte();
        if (byte < 0) {
            break;
        }
        buffer[stored++] = static_cast<std::uint8_t>(byte);
    }
    return stored;
}

void InputStream::seek(std::int64_t, SeekOrigin) {
    throw SeekNotSupportedException();
}

std::uint64_t InputStream::skip(std::uint64_t count) {
    constexpr std::size_t kScratch = 512;
    std::uint8_t scratch[kScratch];
    std::uint64_t left = count;
    while (left > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, kScratch));
        const std::size_t delivered = read(scratch, chunk);
        left -= delivered;
        if (delivered < chunk) {
            break;
        }
    }
    return count - left;
}
