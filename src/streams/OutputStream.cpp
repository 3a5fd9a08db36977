#include "streams/OutputStream.h"

void OutputStream::write(const std::uint8_t* buffer, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        writeByte(buffer[i]);
    }
}
