#include "platform/FolderDescriptor.h"

#include <utility>

// What holds on every system; opening, listing and closing are each system's own.

FolderDescriptor::FolderDescriptor(FolderDescriptor&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)) {}

FolderDescriptor& FolderDescriptor::operator=(FolderDescriptor&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

FolderDescriptor::~FolderDescriptor() {
    close();
}
