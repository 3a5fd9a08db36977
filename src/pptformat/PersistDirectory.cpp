#include "pptformat/PersistDirectory.h"

#include <algorithm>
#include <stdexcept>

#include "errors/IOException.h"
#include "errors/StringErrorDetail.h"
#include "pptformat/RecordHeader.h"
#include "pptformat/RecordType.h"
#include "streams/LittleEndian.h"

void PersistDirectory::add(std::uint32_t persistId, std::uint32_t offset) {
    if (persistId == 0 || persistId > kMaxPersistId || find(persistId) != nullptr) {
        return;
    }
    if (persistId >= slotById_.size()) {
        slotById_.resize(std::min<std::size_t>(
            std::max<std::size_t>(persistId + 1, 2 * slotById_.size()), kMaxPersistId + 1));
    }
    slotById_[persistId] = static_cast<std::uint32_t>(entries_.size() + 1);
    runsCounted_ = false;
    runs_.clear();
    PersistEntry& entry = entries_.emplace_back();
    entry.persistId = persistId;
    entry.offset = offset;
}

PersistEntry* PersistDirectory::find(std::uint32_t persistId) {
    if (persistId >= slotById_.size() || slotById_[persistId] == 0) {
        return nullptr;
    }
    return &entries_[slotById_[persistId] - 1];
}

std::vector<PersistEntry*> PersistDirectory::entriesById() {
    std::vector<PersistEntry*> sorted;
    sorted.reserve(entries_.size());
    for (PersistEntry& entry : entries_) {
        sorted.push_back(&entry);
    }
    std::sort(sorted.begin(), sorted.end(), [](const PersistEntry* a, const PersistEntry* b) {
        return a->persistId < b->persistId;
    });
    return sorted;
}

const std::vector<PersistDirectory::Run>& PersistDirectory::runs() {
    if (runsCounted_) {
        return runs_;
    }
    runsCounted_ = true;
    for (const PersistEntry* entry : entriesById()) {
        const bool extends = !runs_.empty() &&
                             runs_.back().firstId + runs_.back().count == entry->persistId &&
                             runs_.back().count < kMaxRunLength;
        if (extends) {
            ++runs_.back().count;
        } else {
            runs_.push_back({entry->persistId, 1});
        }
    }
    return runs_;
}

std::int32_t PersistDirectory::countRuns() {
    return static_cast<std::int32_t>(runs().size());
}

std::uint32_t PersistDirectory::runHeader(std::int32_t k) {
    const Run& run = runs().at(static_cast<std::size_t>(k - 1));
    return run.firstId | (run.count << 20);
}

void PersistDirectory::write(OutputStream& out) {
    const std::vector<PersistEntry*> sorted = entriesById();
    const std::uint64_t length = 4 * (runs().size() + sorted.size());
    if (length > UINT32_MAX) {
        throw IOException(std::make_unique<StringErrorDetail>("Persistent Directory too large"));
    }
    std::vector<std::uint8_t> body(RecordHeader::kSize + length);
    RecordHeader{0, RecordType::kPersistDirectoryAtom, static_cast<std::uint32_t>(length)}
        .serialize(body.data());
    std::uint8_t* next = body.data() + RecordHeader::kSize;
    std::uint64_t offset = 0;
    auto entry = sorted.begin();
    for (const Run& run : runs()) {
        LittleEndian::writeU32(next, run.firstId | (run.count << 20));
        next += 4;
        for (std::uint32_t i = 0; i < run.count; ++i, ++entry) {
            if (offset > UINT32_MAX) {
                throw IOException(std::make_unique<StringErrorDetail>("Document stream too large"));
            }
            LittleEndian::writeU32(next, static_cast<std::uint32_t>(offset));
            next += 4;
            offset += RecordHeader::kSize + static_cast<std::uint64_t>((*entry)->size);
        }
    }
    out.write(body.data(), body.size());
    if (!runs().empty()) {
        maxPersistId_ = runs().back().firstId + runs().back().count - 1;
    }
}
