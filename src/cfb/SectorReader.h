#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cfb/Header.h"

class ReadableFile;

namespace cfb {

class SectorChain;

// The open file of a compound file being read. Reads its sectors, each run of consecutive
// sectors with one call, and maps positions of sector chains to file offsets.
class SectorReader {
public:
    // A stretch of a chain that lies in consecutive bytes of the file.
    struct Extent {
        std::uint64_t fileOffset;
        std::uint64_t length;
    };

    SectorReader(std::unique_ptr<ReadableFile> file, const Header& header);
    ~SectorReader();

    // Sectors that lie at least partly inside the file.
    std::uint64_t sectorCount() const { return sectorCount_; }
    std::uint64_t fileSize() const { return fileSize_; }
    const Header& header() const { return header_; }
    ReadableFile& file() { return *file_; }

    // Reads exactly `count` bytes at `offset`. Throws Error(Corrupt) when the file ends first and
    // Error(ReadFault) when the system fails; `what` names the data in both.
    void read(std::uint64_t offset, void* buffer, std::size_t count, const std::string& what);

    // Reads the whole sectors of a chain, in chain order, into `out`, which has room for them.
    void readChain(const SectorChain& chain, std::uint8_t* out, const std::string& what);

    // Reads a chain of sectors full of 32-bit entries (a FAT or mini FAT).
    std::vector<std::uint32_t> readTable(const SectorChain& chain, const std::string& what);

    // The bytes at `position` of a chain of whole sectors: where they are in the file and how
    // many follow consecutively, to the end of the chain's run. `position` lies inside the chain.
    Extent locate(const SectorChain& chain, std::uint64_t position) const;

private:
    std::unique_ptr<ReadableFile> file_;
    Header header_;
    std::uint64_t fileSize_;
    std::uint64_t sectorCount_;
};

}  // namespace cfb
