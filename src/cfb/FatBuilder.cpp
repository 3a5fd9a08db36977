#include "cfb/FatBuilder.h"

#include <algorithm>

#include "cfb/Error.h"
#include "streams/LittleEndian.h"

namespace cfb {

FatBuilder::FatBuilder(Version version) {
    if (version == Version::V3) {
        // Version 3 files end below the range lock offset, under 2 GB.
        lockSector_ = kFreeSector;
        sectorLimit_ = (kRangeLockOffset >> 9) - 1;
    } else {
        lockSector_ = static_cast<std::uint32_t>((kRangeLockOffset >> 12) - 1);
        sectorLimit_ = static_cast<std::uint64_t>(kMaxRegularSector) + 1;
    }
}

FatBuilder::Piece FatBuilder::reserve(std::uint32_t count) {
    if (next_ == lockSector_) {
        runs_.push_back(Run{next_, 1, kEndOfChain, kEndOfChain});
        ++next_;
    }
    if (next_ + static_cast<std::uint64_t>(count) > sectorLimit_) {
        throw Error(ErrorKind::TooLarge, sectorLimit_ < kMaxRegularSector
                                             ? "the file would grow beyond 2 GB, the most a "
                                               "version 3 compound file can hold"
                                             : "the file would grow beyond the most a compound "
                                               "file can hold");
    }
    if (next_ < lockSector_ && next_ + static_cast<std::uint64_t>(count) > lockSector_) {
        count = lockSector_ - next_;
    }
    const Piece piece{next_, count};
    next_ += count;
    return piece;
}

FatBuilder::Piece FatBuilder::append(Tail& tail, std::uint32_t count) {
    const Piece piece = reserve(count);
    if (tail.lastRun != kNone && tail.lastRun + 1 == runs_.size()) {
        Run& last = runs_[tail.lastRun];
        if (last.first + last.count == piece.first) {
            last.count += piece.count;
            return piece;
        }
    }
    if (tail.lastRun == kNone) {
        tail.first = piece.first;
    } else {
        runs_[tail.lastRun].next = piece.first;
    }
    runs_.push_back(Run{piece.first, piece.count, kEndOfChain, 0});
    tail.lastRun = runs_.size() - 1;
    return piece;
}

FatBuilder::Piece FatBuilder::appendMarked(std::uint32_t count, std::uint32_t marker) {
    const Piece piece = reserve(count);
    runs_.push_back(Run{piece.first, piece.count, kEndOfChain, marker});
    return piece;
}

std::size_t FatBuilder::runAt(std::uint32_t sector) const {
    const auto after =
        std::upper_bound(runs_.begin(), runs_.end(), sector,
                         [](std::uint32_t s, const Run& run) { return s < run.first; });
    return static_cast<std::size_t>(after - runs_.begin()) - 1;
}

void FatBuilder::freeChain(std::uint32_t first) {
    for (std::uint32_t sector = first; sector != kEndOfChain;) {
        Run& run = runs_[runAt(sector)];
        sector = run.next;
        run.marker = kFreeSector;
    }
}

void FatBuilder::fill(std::uint64_t first, std::uint32_t count, std::uint8_t* out) const {
    std::size_t at = first < next_ ? runAt(static_cast<std::uint32_t>(first)) : runs_.size();
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t sector = first + i;
        std::uint32_t value = kFreeSector;
        if (sector < next_) {
            while (sector >= static_cast<std::uint64_t>(runs_[at].first) + runs_[at].count) {
                ++at;
            }
            const Run& run = runs_[at];
            if (run.marker != 0) {
                value = run.marker;
            } else {
                value = sector + 1 == static_cast<std::uint64_t>(run.first) + run.count
                            ? run.next
                            : static_cast<std::uint32_t>(sector + 1);
            }
        }
        LittleEndian::writeU32(out + 4 * i, value);
    }
}

}  // namespace cfb
