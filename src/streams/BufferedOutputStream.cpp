#include "streams/BufferedOutputStream.h"

#include <cstring>

BufferedOutputStream::BufferedOutputStream(OutputStream& inner, std::size_t capacity)
    : OutputStreamDecorator(inner), buffer_(capacity) {}

BufferedOutputStream::~BufferedOutputStream() {
    try {
        drain();
    } catch (...) {
        // Nothing can be reported from here; callers that need the data flush first.
    }
}

void BufferedOutputStream::write(const std::uint8_t* data, std::size_t count) {
    if (count > buffer_.size() - used_) {
        drain();
        if (count >= buffer_.size()) {
            inner().write(data, count);
            return;
        }
    }
    std::memcpy(buffer_.data() + used_, data, count);
    used_ += count;
}

void BufferedOutputStream::flush() {
    drain();
    inner().flush();
}

void BufferedOutputStream::drain() {
    if (used_ > 0) {
        const std::size_t count = used_;
        used_ = 0;
        inner().write(buffer_.data(), count);
    }
}
