#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "streams/LittleEndian.h"

namespace fixtures {

using Bytes = std::vector<std::uint8_t>;

inline Bytes u16(std::uint16_t value) {
    Bytes out(2);
    LittleEndian::writeU16(out.data(), value);
    return out;
}
inline Bytes u32(std::uint32_t value) {
    Bytes out(4);
    LittleEndian::writeU32(out.data(), value);
    return out;
}
Bytes concat(const std::vector<Bytes>& parts);
inline Bytes concat(std::initializer_list<Bytes> parts) {
    return concat(std::vector<Bytes>(parts));
}
inline Bytes zeros(std::size_t count) {
    return Bytes(count, 0);
}
// The ASCII characters as bytes.
inline Bytes text(const std::string& ascii) {
    return Bytes(ascii.begin(), ascii.end());
}
Bytes utf16(const std::string& ascii);  // the ASCII characters as UTF-16LE

// Bytes that differ from position to position and from seed to seed, and deflate poorly.
Bytes pattern(std::size_t size, std::uint32_t seed = 1);

// zlib format (header, final block, Adler-32), as a standard deflater writes it.
Bytes zlibCompress(const Bytes& data);
// What a standard inflater makes of zlib data that holds `size` bytes; throws
// std::runtime_error when it refuses the data or finds another size.
Bytes zlibUncompress(const Bytes& compressed, std::size_t size);

}  // namespace fixtures
