#pragma once

#include <cstdint>

#include "support/TestSystem.h"

// Caps the size of every file this process writes, for as long as this object lives: a write
// past the cap then fails the way a full disk fails one. Where the system has no such cap,
// active() is false and nothing is capped.
class FileSizeCap {
public:
    explicit FileSizeCap(std::uint64_t bytes) : active_(fixtures::CapFileSize(bytes)) {}
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;
    ~FileSizeCap() {
        if (active_) {
            fixtures::UncapFileSize();
        }
    }

    bool active() const { return active_; }

private:
    bool active_;
};
