#include "cfb/OutputFile.h"

#include <algorithm>

#include "cfb/StreamWriter.h"
#include "platform/WritableFile.h"

namespace cfb {

OutputFile::OutputFile(std::unique_ptr<WritableFile> file, Version version)
    : file_(std::move(file)), header_(version), fat_(version) {}

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
        const std::uint32_t shift = header_.sectorShift();
        while (count > 0) {
            const std::uint64_t wanted = (count + header_.sectorSize() - 1) >> shift;
            const FatBuilder::Piece piece = fat_.append(
                tail, static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, UINT32_MAX)));
            const std::uint64_t bytes = std::min(count, std::uint64_t{piece.count} << shift);
            if (const int error =
                    file_->copyFrom(source, offset, header_.sectorOffset(piece.first), bytes)) {
                throw Error::fromErrorNumber(error, ErrorKind::WriteFault, "copying " + what);
            }
            offset += bytes;
            count -= bytes;
        }
    });
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
