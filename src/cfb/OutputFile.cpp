#include "cfb/OutputFile.h"

#include <algorithm>

#include "cfb/StreamWriter.h"
#include "platform/WritableFile.h"

namespace cfb {

namespace {

// Runs shorter than this many blocks are copied where they fall: the free sectors that would
// align them could take up to a sixteenth of their size.
constexpr std::uint64_t kAlignedRunBlocks = 16;

}  // namespace

OutputFile::OutputFile(std::unique_ptr<WritableFile> file, Version version)
    : file_(std::move(file)), blockSize_(file_->blockSize()), header_(version), fat_(version) {}

OutputFile::~OutputFile() {
    abandon();
}

template <typename Operation>
void OutputFile::guarded(Operation operation) {
    checkOpen();
    try {
        operation();
    } catch (const Error& error) {
        fail(error);
        throw;
    }
}

void OutputFile::writeAt(std::uint64_t offset, const void* data, std::size_t count,
                         const std::string& what) {
    guarded([&] {
        if (const int error = file_->writeAt(offset, data, count)) {
            throw Error::fromErrorNumber(error, ErrorKind::WriteFault, "writing " + what);
        }
    });
}

void OutputFile::appendSectors(FatBuilder::Tail& tail, const std::uint8_t* data, std::size_t count,
                               const std::string& what) {
    guarded([&] {
        const std::uint32_t shift = header_.sectorShift();
        while (count > 0) {
            const auto sectors =
                static_cast<std::uint32_t>((count + header_.sectorSize() - 1) >> shift);
            const FatBuilder::Piece piece = fat_.append(tail, sectors);
            const std::size_t bytes =
                std::min<std::size_t>(count, std::size_t{piece.count} << shift);
            if (const int error = file_->writeAt(header_.sectorOffset(piece.first), data, bytes)) {
                throw Error::fromErrorNumber(error, ErrorKind::WriteFault, "writing " + what);
            }
            data += bytes;
            count -= bytes;
        }
    });
}

void OutputFile::copySectors(FatBuilder::Tail& tail, ReadableFile& source, std::uint64_t offset,
                             std::uint64_t count, const std::string& what) {
    guarded([&] {
        padBeforeCopyOf(offset, count);
        const std::uint32_t shift = header_.sectorShift();
        while (count > 0) {
            const std::uint64_t wanted = (count + header_.sectorSize() - 1) >> shift;
            const FatBuilder::Piece piece = fat_.append(
                tail, static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, UINT32_MAX)));
            const std::uint64_t bytes = std::min(count, std::uint64_t{piece.count} << shift);
            copyInBlocks(source, offset, header_.sectorOffset(piece.first), bytes, what);
            offset += bytes;
            count -= bytes;
        }
    });
}

void OutputFile::padBeforeCopyOf(std::uint64_t sourceOffset, std::uint64_t count) {
    if (count < kAlignedRunBlocks * blockSize_) {
        return;
    }
    const std::uint64_t gap =
        (sourceOffset - header_.sectorOffset(fat_.sectorCount())) & (blockSize_ - 1);
    const std::uint32_t shift = header_.sectorShift();
    if ((gap & (header_.sectorSize() - 1)) != 0) {
        return;  // a source with smaller sectors than ours: none of our sectors starts there
    }
    std::uint64_t free = gap >> shift;
    const std::uint64_t needed = (count + header_.sectorSize() - 1) >> shift;
    // A gap never takes a run past the size its version allows.
    if (free == 0 || free + needed > fat_.room()) {
        return;
    }
    while (free > 0) {
        free -= fat_.appendMarked(static_cast<std::uint32_t>(free), kFreeSector).count;
    }
}

void OutputFile::copyInBlocks(ReadableFile& source, std::uint64_t from, std::uint64_t to,
                              std::uint64_t count, const std::string& what) {
    // The bytes before the output's first block boundary, the whole blocks, the rest: where the
    // offsets are congruent, the middle copy moves whole blocks on both sides.
    const std::uint64_t mask = blockSize_ - 1;
    const std::uint64_t head = std::min(count, (blockSize_ - (to & mask)) & mask);
    const std::uint64_t whole = (count - head) & ~mask;
    for (const std::uint64_t part : {head, whole, count - head - whole}) {
        if (part == 0) {
            continue;
        }
        if (const int error = file_->copyFrom(source, from, to, part)) {
            throw Error::fromErrorNumber(error, ErrorKind::WriteFault, "copying " + what);
        }
        from += part;
        to += part;
    }
}

std::vector<std::uint32_t> OutputFile::appendMarked(std::uint32_t count, std::uint32_t marker) {
    std::vector<std::uint32_t> sectors;
    guarded([&] {
        while (sectors.size() < count) {
            const FatBuilder::Piece piece =
                fat_.appendMarked(count - static_cast<std::uint32_t>(sectors.size()), marker);
            for (std::uint32_t i = 0; i < piece.count; ++i) {
                sectors.push_back(piece.first + i);
            }
        }
    });
    return sectors;
}

void OutputFile::checkOpen() const {
    if (failure_) {
        throw Error(ErrorKind::InvalidState,
                    std::string("the compound file cannot be written on after a failure: ") +
                        failure_->what());
    }
    if (file_ == nullptr) {
        throw Error(ErrorKind::InvalidState, "the compound file is already committed");
    }
}

void OutputFile::fail(const Error& error) {
    if (!failure_) {
        failure_ = error;
    }
}

std::vector<std::uint32_t> OutputFile::openEntries() const {
    std::vector<std::uint32_t> entries;
    for (const StreamWriter* writer : writers_) {
        entries.push_back(writer->entry());
    }
    return entries;
}

void OutputFile::closeWriters() {
    while (!writers_.empty()) {
        (*writers_.begin())->close();
    }
}

void OutputFile::finish(std::uint64_t length, bool flushToDisk) {
    guarded([&] {
        if (const int error = file_->truncate(length)) {
            throw Error::fromErrorNumber(error, ErrorKind::WriteFault, "setting the file's length");
        }
        if (const int error = flushToDisk ? file_->sync() : 0) {
            throw Error::fromErrorNumber(error, ErrorKind::WriteFault, "flushing the file to disk");
        }
        const int error = file_->close();
        file_.reset();
        if (error != 0) {
            throw Error::fromErrorNumber(error, ErrorKind::WriteFault, "closing the file");
        }
    });
}

void OutputFile::abandon() {
    if (file_ != nullptr) {
        (void)file_->close();
        file_.reset();
    }
}

}  // namespace cfb
