#include "streams/CRCOutputStream.h"

#include <zlib.h>

void CRCOutputStream::write(const std::uint8_t* buffer, std::size_t count) {
    // The CRC covers the bytes before they are passed on, so it includes bytes that a failing
    // wrapped stream did not take. zlib answers a null buffer with the initial value, hence
    // the guard.
    if (count > 0) {
        crc_ = static_cast<std::uint32_t>(crc32_z(crc_, buffer, count));
    }
    inner().write(buffer, count);
}
