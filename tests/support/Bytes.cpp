#include "support/Bytes.h"

#include <zlib.h>

#include <stdexcept>

#include "streams/LittleEndian.h"

namespace fixtures {

Bytes u16(std::uint16_t value) {
    Bytes out(2);
    LittleEndian::writeU16(out.data(), value);
    return out;
}

Bytes u32(std::uint32_t value) {
    Bytes out(4);
    LittleEndian::writeU32(out.data(), value);
    return out;
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    return concat(std::vector<Bytes>(parts));
}

Bytes zeros(std::size_t count) {
    return Bytes(count, 0);
}

Bytes text(const std::string& ascii) {
    return Bytes(ascii.begin(), ascii.end());
}

Bytes utf16(const std::string& ascii) {
    Bytes out;
    for (char c : ascii) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
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

}  // namespace fixtures
