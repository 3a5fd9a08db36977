#pragma once

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/ReadableFile.h"

// A file's bytes held in memory, read like a file: for objects small enough to be examined
// without a file of their own.
class MemoryReadableFile : public ReadableFile {
public:
    explicit MemoryReadableFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    int readAt(std::uint64_t offset, void* buffer, std::size_t count,
               std::size_t* bytesRead) override {
        *bytesRead = 0;
        if (offset < bytes_.size()) {
            *bytesRead =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - offset));
            std::memcpy(buffer, bytes_.data() + offset, *bytesRead);
        }
        return 0;
    }

    std::uint64_t size() const override { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};
