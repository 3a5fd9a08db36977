#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "pptformat/PersistEntry.h"
#include "streams/OutputStream.h"

// The merged map from persist id to object offset of a Document stream (newest edit first), and
// the writer of the single persist directory atom of a rewritten stream.
class PersistDirectory {
public:
    static constexpr std::uint32_t kMaxRunLength = 0xFFF;
    static constexpr std::uint32_t kMaxPersistId = 0xFFFFF;

    // Adds the id unless it is present already (the first offset added for an id wins).
    // Id 0, and ids above kMaxPersistId, lie outside the numbering and are ignored.
    void add(std::uint32_t persistId, std::uint32_t offset);

    PersistEntry* find(std::uint32_t persistId);

    // The entries in insertion order. Throws std::out_of_range for an index past the end.
    PersistEntry& entryAt(std::size_t index) { return entries_.at(index); }
    std::size_t entryCount() const { return entries_.size(); }
    std::deque<PersistEntry>& entries() { return entries_; }

    // The entries in ascending id order: the order in which objects are written.
    std::vector<PersistEntry*> entriesById();

    // The number of runs of consecutive ids, a run never longer than 4095 ids. Computed on first
    // demand and kept until the next add().
    std::int32_t countRuns();

    // The header of run k (counted from 1): first id | (count << 20).
    std::uint32_t runHeader(std::int32_t k);

    // Writes the persist directory atom: the offsets are those the objects take when written back
    // to back from offset 0 in ascending id order, each as an 8-byte header and `size` body bytes.
    // Throws IOException when an offset does not fit 32 bits.
    void write(OutputStream& out);

    // The highest id written by the last write(); 0 before.
    std::uint32_t maxPersistId() const { return maxPersistId_; }

private:
    struct Run {
        std::uint32_t firstId;
        std::uint32_t count;
    };
    const std::vector<Run>& runs();

    std::deque<PersistEntry> entries_;
    // Entry index + 1 by persist id, 0 for none. Ids have 20 bits, so this never outgrows 4 MiB,
    // and it grows only as far as the highest id met.
    std::vector<std::uint32_t> slotById_;
    std::vector<Run> runs_;
    bool runsCounted_ = false;
    std::uint32_t maxPersistId_ = 0;
};
