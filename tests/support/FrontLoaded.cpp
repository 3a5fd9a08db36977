#include "support/FrontLoaded.h"

#include <stdexcept>
#include <vector>

#include "cfb/Header.h"
#include "streams/LittleEndian.h"

namespace fixtures {

Bytes frontLoaded(const Bytes& file) {
    constexpr std::uint32_t kSector = 512;
    constexpr std::uint32_t kPerSector = kSector / 4;
    if (file.size() < kSector) {
        throw std::runtime_error("frontLoaded takes small version 3 files");
    }
    cfb::Header h = cfb::Header::parse(file.data());
    if (h.version() != cfb::Version::V3 || h.difatSectorCount != 0) {
        throw std::runtime_error("frontLoaded takes small version 3 files");
    }
    const auto count = static_cast<std::uint32_t>(file.size() / kSector - 1);
    const auto in = [&](std::uint32_t s) { return file.data() + h.sectorOffset(s); };
    std::vector<std::uint32_t> fat;
    for (std::uint32_t i = 0; i < h.fatSectorCount; ++i) {
        for (std::uint32_t j = 0; j < kPerSector; ++j) {
            fat.push_back(LittleEndian::readU32(in(h.difat[i]) + 4 * j));
        }
    }
    // New order: allocation table, directory, mini allocation table, then everything else.
    std::vector<std::uint32_t> order;
    std::vector<bool> placed(count, false);
    const auto place = [&](std::uint32_t s) {
        if (!placed.at(s)) {
            placed[s] = true;
            order.push_back(s);
        }
    };
    for (std::uint32_t i = 0; i < h.fatSectorCount; ++i) {
        place(h.difat[i]);
    }
    std::vector<std::uint32_t> directory;
    for (std::uint32_t s = h.firstDirectorySector; s <= cfb::kMaxRegularSector; s = fat.at(s)) {
        directory.push_back(s);
        place(s);
    }
    for (std::uint32_t s = h.firstMiniFatSector; s <= cfb::kMaxRegularSector; s = fat.at(s)) {
        place(s);
    }
    for (std::uint32_t s = 0; s < count; ++s) {
        place(s);
    }
    std::vector<std::uint32_t> moved(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        moved[order[i]] = i;
    }
    const auto remap = [&](std::uint32_t s) { return s <= cfb::kMaxRegularSector ? moved[s] : s; };

    Bytes out(kSector);
    for (std::uint32_t s : order) {
        out.insert(out.end(), in(s), in(s) + kSector);
    }
    // FAT sector i is now sector i, so the entry of new sector n sits at n * 4 after sector 0.
    for (std::uint32_t s = 0; s < count; ++s) {
        LittleEndian::writeU32(out.data() + h.sectorOffset(0) + 4 * moved[s], remap(fat[s]));
    }
    for (std::uint32_t s : directory) {
        for (std::uint64_t at = h.sectorOffset(moved[s]); at < h.sectorOffset(moved[s] + 1);
             at += cfb::kDirectoryEntrySize) {
            const std::uint8_t type = out[at + 66];
            if (type == 5 ||
                (type == 2 && LittleEndian::readU32(&out[at + 120]) >= cfb::kMiniStreamCutoff)) {
                LittleEndian::writeU32(&out[at + 116],
                                       remap(LittleEndian::readU32(&out[at + 116])));
            }
        }
    }
    for (std::uint32_t i = 0; i < h.fatSectorCount; ++i) {
        h.difat[i] = i;
    }
    h.firstDirectorySector = remap(h.firstDirectorySector);
    h.firstMiniFatSector = remap(h.firstMiniFatSector);
    h.serialize(out.data());
    return out;
}

}  // namespace fixtures
