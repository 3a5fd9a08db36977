#include "cfb/StreamReader.h"

#include <algorithm>
#include <cstring>

#include "cfb/MiniStream.h"

namespace cfb {

StreamReader::StreamReader(std::shared_ptr<SectorReader> reader,
                           std::shared_ptr<const MiniStream> miniStream, SectorChain chain,
                           std::uint64_t size, std::string owner)
    : reader_(std::move(reader)),
      miniStream_(std::move(miniStream)),
      chain_(std::move(chain)),
      size_(size),
      owner_(std::move(owner)) {}

SectorReader::Extent StreamReader::locate(std::uint64_t position) const {
    SectorReader::Extent extent = miniStream_ != nullptr
                                      ? miniStream_->locate(*reader_, chain_, position)
                                      : reader_->locate(chain_, position);
    extent.length = std::min(extent.length, size_ - position);
    return extent;
}

std::size_t StreamReader::read(std::uint8_t* buffer, std::size_t count) {
    if (position_ >= size_) {
        return 0;
    }
    const std::size_t total =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - position_));
    std::size_t done = 0;
    while (done < total) {
        const std::size_t wanted = total - done;
        if (position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_) {
            const std::size_t at = static_cast<std::size_t>(position_ - bufferStart_);
            const std::size_t n = std::min(wanted, bufferLength_ - at);
            std::memcpy(buffer + done, buffer_->data() + at, n);
            done += n;
            position_ += n;
            continue;
        }
        const SectorReader::Extent extent = locate(position_);
        if (wanted >= kBufferSize) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(wanted, extent.length));
            reader_->read(extent.fileOffset, buffer + done, n, owner_);
            done += n;
            position_ += n;
            continue;
        }
        if (!buffer_) {
            buffer_ = std::make_unique<std::array<std::uint8_t, kBufferSize>>();
        }
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, extent.length));
        bufferLength_ = 0;
        reader_->read(extent.fileOffset, buffer_->data(), n, owner_);
        bufferStart_ = position_;
        bufferLength_ = n;
    }
    return total;
}

}  // namespace cfb
