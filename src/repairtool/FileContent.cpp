#include "repairtool/FileContent.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <vector>

#include "platform/ReadableFile.h"

namespace {

constexpr std::size_t kChunk = 1 << 20;

}  // namespace

std::string ContentDigest(ReadableFile& file) {
    std::vector<std::uint8_t> buffer(kChunk);
    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t offset = 0;
    for (;;) {
        std::size_t got = 0;
        if (file.readAt(offset, buffer.data(), buffer.size(), &got) != 0) {
            return std::string();
        }
        crc = crc32(crc, buffer.data(), static_cast<uInt>(got));
        offset += got;
        if (got < buffer.size()) {
            break;
        }
    }
    std::ostringstream text;
    text << offset << " bytes, CRC-32 " << std::hex << crc;
    return text.str();
}

bool SameContent(ReadableFile& a, ReadableFile& b) {
    std::vector<std::uint8_t> left(kChunk);
    std::vector<std::uint8_t> right(kChunk);
    for (std::uint64_t offset = 0;; offset += kChunk) {
        std::size_t leftGot = 0;
        std::size_t rightGot = 0;
        if (a.readAt(offset, left.data(), kChunk, &leftGot) != 0 ||
            b.readAt(offset, right.data(), kChunk, &rightGot) != 0 || leftGot != rightGot ||
            std::memcmp(left.data(), right.data(), leftGot) != 0) {
            return false;
        }
        if (leftGot < kChunk) {
            return true;
        }
    }
}
