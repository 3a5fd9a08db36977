#include "support/Bytes.h"

#include <zlib.h>

#include <stdexcept>

namespace fixtures {

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes utf16(const std::string& ascii) {
    Bytes out;
    for (char c : ascii) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

Bytes pattern(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

Bytes zlibCompress(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 6) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    out.resize(size);
    return out;
}

Bytes zlibUncompress(const Bytes& compressed, std::size_t size) {
    Bytes out(size + 1);
    uLongf got = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &got, compressed.data(), static_cast<uLong>(compressed.size())) !=
            Z_OK ||
        got != size) {
        throw std::runtime_error("the zlib data does not inflate to the expected size");
    }
    out.resize(size);
    return out;
}

}  // namespace fixtures
