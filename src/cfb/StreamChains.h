#pragma once

#include <cstdint>
#include <string>

#include "cfb/SectorChain.h"

namespace cfb {

class AllocationTable;
class MiniStream;
class SectorClaims;
class SectorReader;

// Finds the chain that holds a stream's data and checks it against the stream's size: long
// enough, and inside the file to the stream's last byte. With claims (when a file is opened)
// the whole chain is walked and claimed; without (when a stream is opened) only the sectors the
// size needs are followed.
class StreamChains {
public:
    StreamChains(SectorReader& reader, const AllocationTable& fat) : reader_(reader), fat_(fat) {}

    // A chain of regular sectors holding `size` bytes.
    SectorChain regular(std::uint32_t start, std::uint64_t size, const std::string& owner,
                        SectorClaims* claims) const;

    // A chain of mini sectors holding `size` bytes of the mini stream.
    SectorChain mini(const MiniStream& miniStream, std::uint32_t start, std::uint64_t size,
                     const std::string& owner, SectorClaims* claims) const;

private:
    SectorReader& reader_;
    const AllocationTable& fat_;
};

}  // namespace cfb
