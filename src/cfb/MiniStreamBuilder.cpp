#include "cfb/MiniStreamBuilder.h"

#include <algorithm>

#include "cfb/OutputFile.h"
#include "streams/LittleEndian.h"

namespace cfb {

std::uint32_t MiniStreamBuilder::append(OutputFile& out, const std::uint8_t* data,
                                        std::size_t count) {
    if (count == 0) {
        return kEndOfChain;
    }
    const auto sectors =
        static_cast<std::uint32_t>((count + kMiniSectorSize - 1) >> kMiniSectorShift);
    const std::uint32_t first = miniSectors_;
    buffer_.insert(buffer_.end(), data, data + count);
    buffer_.resize(buffer_.size() + (std::size_t{sectors} << kMiniSectorShift) - count, 0);
    miniSectors_ += sectors;
    ranges_.push_back(Range{first, sectors, true});
    // Whole sectors go out as soon as the buffer is full; a partial one waits for more.
    if (buffer_.size() >= kBufferSize) {
        const std::size_t whole = buffer_.size() & ~std::size_t{out.header().sectorSize() - 1};
        out.appendSectors(container_, buffer_.data(), whole, "the mini stream");
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(whole));
    }
    return first;
}

void MiniStreamBuilder::release(std::uint32_t first) {
    const auto found =
        std::lower_bound(ranges_.begin(), ranges_.end(), first,
                         [](const Range& range, std::uint32_t f) { return range.first < f; });
    if (found != ranges_.end() && found->first == first) {
        found->live = false;
    }
}

void MiniStreamBuilder::flush(OutputFile& out) {
    if (!buffer_.empty()) {
        out.appendSectors(container_, buffer_.data(), buffer_.size(), "the mini stream");
        buffer_.clear();
    }
}

std::vector<std::uint8_t> MiniStreamBuilder::table(std::uint32_t sectorSize) const {
    const std::size_t perSector = sectorSize / 4;
    const std::size_t slots = (miniSectors_ + perSector - 1) / perSector * perSector;
    std::vector<std::uint8_t> bytes(slots * 4, 0xFF);
    for (const Range& range : ranges_) {
        if (!range.live) {
            continue;
        }
        for (std::uint32_t i = 0; i < range.count; ++i) {
            const std::uint32_t sector = range.first + i;
            LittleEndian::writeU32(bytes.data() + 4 * std::size_t{sector},
                                   i + 1 < range.count ? sector + 1 : kEndOfChain);
        }
    }
    return bytes;
}

}  // namespace cfb
