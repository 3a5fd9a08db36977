#pragma once

#include <cstdint>

// How many bytes the embedded presentations of one repair pass may unpack to, at all depths
// together, and whether they may be unpacked to temporary files. zlib inflates up to about a
// thousand times its input, and a compressed presentation holding compressed presentations
// multiplies that at every level, so a few kilobytes could otherwise fill the disk with temporary
// files. Real presentations compress far less than the allowance: at least kFloorBytes, else kRatio
// times the input's Document stream.
class UnpackBudget {
public:
    static constexpr std::uint64_t kFloorBytes = 16ull << 20;
    static constexpr std::uint64_t kRatio = 64;

    // With `toFiles` false nothing is ever written: objects too large for memory are inflated
    // again from their stored bytes whenever they are read (see ZlibReadableFile).
    explicit UnpackBudget(std::uint64_t documentBytes, bool toFiles = true)
        : remaining_(documentBytes > kFloorBytes / kRatio ? documentBytes * kRatio : kFloorBytes),
          toFiles_(toFiles) {}

    bool toFiles() const { return toFiles_; }

    // How much of what is unpacked may be held in memory instead of in temporary files; objects
    // stay open from the scan to their repair, so this bounds the memory they take together.
    static constexpr std::uint64_t kMemoryBytes = 16ull << 20;

    std::uint64_t remaining() const { return remaining_; }

    // Takes `bytes` from the in-memory allowance; false (and nothing taken) when it has not that
    // many. Separate from spend(): bytes held in memory count there too.
    bool hold(std::uint64_t bytes) {
        if (bytes > memoryRemaining_) {
            return false;
        }
        memoryRemaining_ -= bytes;
        return true;
    }

    // Takes `bytes` from the allowance; false (and nothing taken) when it has not that many.
    bool spend(std::uint64_t bytes) {
        if (bytes > remaining_) {
            return false;
        }
        remaining_ -= bytes;
        return true;
    }

private:
    std::uint64_t remaining_;
    std::uint64_t memoryRemaining_ = kMemoryBytes;
    bool toFiles_;
};
