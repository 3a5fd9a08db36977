#include "platform/WindowsFiles.h"

#include <algorithm>
#include <vector>

int WindowsWritableFile::copyFrom(ReadableFile& source, std::uint64_t sourceOffset,
                                  std::uint64_t offset, std::uint64_t count) {
    if (!open()) {
        return ERROR_INVALID_HANDLE;
    }
    if (auto* windows = dynamic_cast<WindowsReadableFile*>(&source)) {
        return winsupport::CopyBytes(windows->handle(), sourceOffset, handle_.get(), offset, count);
    }
    std::vector<unsigned char> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(count, 1 << 20)));
    while (count > 0) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
        std::size_t got = 0;
        if (const int error = source.readAt(sourceOffset, buffer.data(), chunk, &got)) {
            return error;
        }
        if (got < chunk) {
            return ERROR_HANDLE_EOF;
        }
        if (const int error = winsupport::WriteAt(handle_.get(), offset, buffer.data(), chunk)) {
            return error;
        }
        sourceOffset += chunk;
        offset += chunk;
        count -= chunk;
    }
    return 0;
}
