#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "streams/InputStream.h"
#include "support/Bytes.h"

namespace fixtures {

// A seekable input stream over bytes in memory that records what it is asked for: the count of
// every read() call, and how many single bytes readByte() served.
class MemoryInputStream : public InputStream {
public:
    explicit MemoryInputStream(Bytes data) : data_(std::move(data)) {}

    std::size_t read(std::uint8_t* buffer, std::size_t count) override {
        requests.push_back(count);
        const std::size_t left = position_ < data_.size() ? data_.size() - position_ : 0;
        const std::size_t n = std::min(count, left);
        if (n > 0) {
            std::memcpy(buffer, data_.data() + position_, n);
        }
        position_ += n;
        return n;
    }
    int readByte() override {
        ++byteReads;
        return position_ < data_.size() ? data_[position_++] : -1;
    }
    void seek(std::int64_t offset, SeekOrigin origin) override {
        const std::int64_t base = origin == SeekOrigin::Begin ? 0
                                  : origin == SeekOrigin::Current
                                      ? static_cast<std::int64_t>(position_)
                                      : static_cast<std::int64_t>(data_.size());
        position_ = static_cast<std::size_t>(base + offset);
    }
    std::int64_t tell() override { return static_cast<std::int64_t>(position_); }

    std::vector<std::size_t> requests;
    int byteReads = 0;

private:
    Bytes data_;
    std::size_t position_ = 0;
};

}  // namespace fixtures
