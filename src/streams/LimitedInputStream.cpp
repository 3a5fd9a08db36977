#include "streams/LimitedInputStream.h"

#include <algorithm>

std::size_t LimitedInputStream::read(std::uint8_t* buffer, std::size_t count) {
    const std::size_t asked = static_cast<std::size_t>(std::min<std::uint64_t>(count, remaining_));
    if (asked == 0) {
        return 0;
    }
    const std::size_t delivered = inner().read(buffer, asked);
    remaining_ -= delivered;
    return delivered;
}

int LimitedInputStream::readByte() {
    if (remaining_ == 0) {
        return -1;
    }
    const int byte = inner().readByte();
    if (byte >= 0) {
        --remaining_;
    }
    return byte;
}

std::uint64_t LimitedInputStream::skip(std::uint64_t count) {
    return InputStream::skip(std::min(count, remaining_));
}
