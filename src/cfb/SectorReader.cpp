#include "cfb/SectorReader.h"

#include <algorithm>

#include "cfb/Error.h"
#include "cfb/SectorChain.h"
#include "platform/ReadableFile.h"
#include "streams/LittleEndian.h"

namespace cfb {

SectorReader::SectorReader(std::unique_ptr<ReadableFile> file, const Header& header)
    : file_(std::move(file)), header_(header), fileSize_(file_->size()) {
    const std::uint64_t span = header.headerSpan();
    const std::uint64_t sectors =
        fileSize_ > span ? (fileSize_ - span + header.sectorSize() - 1) >> header.sectorShift() : 0;
    sectorCount_ =
        std::min<std::uint64_t>(sectors, static_cast<std::uint64_t>(kMaxRegularSector) + 1);
}

SectorReader::~SectorReader() = default;

void SectorReader::read(std::uint64_t offset, void* buffer, std::size_t count,
                        const std::string& what) {
    if (offset > fileSize_ || count > fileSize_ - offset) {
        throw Error(ErrorKind::Corrupt, what + " reaches beyond the end of the file (" +
                                            std::to_string(fileSize_) + " bytes)");
    }
    std::size_t got = 0;
    if (const int error = file_->readAt(offset, buffer, count, &got)) {
        throw Error::fromErrorNumber(error, ErrorKind::ReadFault, "reading " + what);
    }
    if (got != count) {
        throw Error(ErrorKind::ReadFault,
                    "reading " + what + ": the file ended early; was it truncated while open?");
    }
}

void SectorReader::readChain(const SectorChain& chain, std::uint8_t* out, const std::string& what) {
    const std::uint32_t shift = header_.sectorShift();
    std::size_t at = 0;
    for (const SectorChain::Run& run : chain.runs()) {
        const std::size_t bytes = static_cast<std::size_t>(run.count) << shift;
        read(header_.sectorOffset(run.first), out + at, bytes, what);
        at += bytes;
    }
}

std::vector<std::uint32_t> SectorReader::readTable(const SectorChain& chain,
                                                   const std::string& what) {
    std::vector<std::uint32_t> entries(
        static_cast<std::size_t>(chain.sectorCount() << header_.sectorShift()) / 4);
    // Read in place, then put each entry in the host's byte order.
    auto* bytes = reinterpret_cast<std::uint8_t*>(entries.data());
    readChain(chain, bytes, what);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i] = LittleEndian::readU32(bytes + 4 * i);
    }
    return entries;
}

SectorReader::Extent SectorReader::locate(const SectorChain& chain, std::uint64_t position) const {
    const std::uint32_t shift = header_.sectorShift();
    const std::uint64_t within = position & ((std::uint64_t{1} << shift) - 1);
    const SectorChain::Location at = chain.locate(position >> shift);
    return Extent{header_.sectorOffset(at.sector) + within,
                  (static_cast<std::uint64_t>(at.runRemaining) << shift) - within};
}

}  // namespace cfb
