#include "support/FrontLoaded.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "cfb/Format.h"
#include "streams/LittleEndian.h"

namespace fixtures {

namespace {

constexpr std::size_t kSector = 512;  // version 3
constexpr std::uint32_t kMaxSector = cfb::kMaxRegularSector;
constexpr std::uint32_t kFatMark = cfb::kFatSector;
constexpr std::size_t kEntry = cfb::kDirectoryEntrySize;
constexpr std::uint32_t kCutoff = cfb::kMiniStreamCutoff;

std::uint32_t get32(const Bytes& b, std::size_t at) {
    return LittleEndian::readU32(b.data() + at);
}
void set32(Bytes& b, std::size_t at, std::uint32_t v) {
    LittleEndian::writeU32(b.data() + at, v);
}

}  // namespace

Bytes frontLoaded(const Bytes& file) {
    if (file.size() < kSector || LittleEndian::readU16(file.data() + 30) != 9 ||
        get32(file, 72) != 0) {
        throw std::runtime_error("frontLoaded takes small version 3 files");
    }
    const std::size_t count = (file.size() - kSector) / kSector;
    auto sectorAt = [&](std::uint32_t s) { return kSector * (s + 1); };
    std::vector<std::uint32_t> fat(count, 0xFFFFFFFF);
    for (std::uint32_t i = 0; i < get32(file, 44); ++i) {
        const std::uint32_t fatSector = get32(file, 76 + 4 * i);
        for (std::size_t j = 0; j < kSector / 4 && i * (kSector / 4) + j < count; ++j) {
            fat[i * (kSector / 4) + j] = get32(file, sectorAt(fatSector) + 4 * j);
        }
    }
    auto chain = [&](std::uint32_t start) {
        std::vector<std::uint32_t> sectors;
        for (std::uint32_t s = start; s <= kMaxSector; s = fat.at(s)) {
            sectors.push_back(s);
        }
        return sectors;
    };
    // New order: allocation table, directory, mini allocation table, then everything else.
    std::vector<std::uint32_t> order;
    std::vector<bool> placed(count, false);
    auto place = [&](std::uint32_t s) {
        if (!placed[s]) {
            placed[s] = true;
            order.push_back(s);
        }
    };
    for (std::uint32_t s = 0; s < count; ++s) {
        if (fat[s] == kFatMark) {
            place(s);
        }
    }
    for (std::uint32_t s : chain(get32(file, 48))) {
        place(s);
    }
    for (std::uint32_t s : chain(get32(file, 60))) {
        place(s);
    }
    for (std::uint32_t s = 0; s < count; ++s) {
        place(s);
    }
    std::vector<std::uint32_t> moved(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        moved[order[i]] = i;
    }
    auto remap = [&](std::uint32_t s) { return s <= kMaxSector ? moved.at(s) : s; };

    Bytes out(file.begin(), file.begin() + kSector);
    std::vector<std::uint32_t> newFat(fat.size());
    for (std::uint32_t s = 0; s < count; ++s) {
        newFat[moved[s]] = remap(fat[s]);
    }
    const std::vector<std::uint32_t> directory = chain(get32(file, 48));
    for (std::uint32_t s : order) {
        Bytes sector(file.begin() + sectorAt(s), file.begin() + sectorAt(s) + kSector);
        const bool isDirectory =
            std::find(directory.begin(), directory.end(), s) != directory.end();
        for (std::size_t e = 0; isDirectory && e < kSector / kEntry; ++e) {
            const std::size_t at = e * kEntry;
            const std::uint8_t type = sector[at + 66];
            const bool regular = type == 5 || (type == 2 && get32(sector, at + 120) >= kCutoff);
            if (regular) {
                set32(sector, at + 116, remap(get32(sector, at + 116)));
            }
        }
        out.insert(out.end(), sector.begin(), sector.end());
    }
    for (std::uint32_t i = 0; i < get32(file, 44); ++i) {
        const std::uint32_t fatSector = moved[get32(file, 76 + 4 * i)];
        set32(out, 76 + 4 * i, fatSector);
        for (std::size_t j = 0; j < kSector / 4; ++j) {
            const std::size_t s = i * (kSector / 4) + j;
            set32(out, sectorAt(fatSector) + 4 * j, s < newFat.size() ? newFat[s] : 0xFFFFFFFF);
        }
    }
    set32(out, 48, remap(get32(file, 48)));
    set32(out, 60, remap(get32(file, 60)));
    return out;
}

}  // namespace fixtures
