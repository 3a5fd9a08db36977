#include "cfb/StreamWriter.h"

#include <algorithm>

#include "cfb/OutputFile.h"
#include "platform/ReadableFile.h"

namespace cfb {

namespace {

// Bytes a stream keeps in memory: the whole stream below the cutoff, whole sectors after it.
constexpr std::size_t kBufferSize = kMiniStreamCutoff;

}  // namespace

StreamWriter::StreamWriter(std::weak_ptr<OutputFile> out, std::uint32_t entry, std::string owner)
    : out_(std::move(out)), entry_(entry), owner_(std::move(owner)) {
    if (auto file = out_.lock()) {
        file->registerWriter(this);
    }
}

StreamWriter::~StreamWriter() {
    try {
        close();
    } catch (...) {
        // A failed write is remembered by the file, which then refuses to commit.
    }
}

std::shared_ptr<OutputFile> StreamWriter::file() const {
    if (closed_) {
        throw Error(ErrorKind::InvalidState, owner_ + " is closed");
    }
    std::shared_ptr<OutputFile> out = out_.lock();
    if (out == nullptr) {
        throw Error(ErrorKind::InvalidState, owner_ + " belongs to a compound file that is gone");
    }
    out->checkOpen();
    return out;
}

void StreamWriter::flushWhole(OutputFile& out) {
    out.appendSectors(tail_, buffer_.data(), buffer_.size(), owner_);
    buffer_.clear();
}

void StreamWriter::write(const std::uint8_t* data, std::size_t count) {
    const std::shared_ptr<OutputFile> out = file();
    if (!regular_ && buffer_.size() + count <= kBufferSize) {
        buffer_.insert(buffer_.end(), data, data + count);
        size_ += count;
        return;
    }
    regular_ = true;
    const std::size_t sectorMask = out->header().sectorSize() - 1;
    while (count > 0) {
        if (buffer_.empty() && count >= kBufferSize) {
            const std::size_t whole = count & ~sectorMask;
            out->appendSectors(tail_, data, whole, owner_);
            data += whole;
            count -= whole;
            size_ += whole;
            continue;
        }
        const std::size_t n = std::min(count, kBufferSize - buffer_.size());
        buffer_.insert(buffer_.end(), data, data + n);
        data += n;
        count -= n;
        size_ += n;
        if (buffer_.size() == kBufferSize) {
            flushWhole(*out);
        }
    }
}

void StreamWriter::copyFrom(ReadableFile& source, std::uint64_t offset, std::uint64_t count) {
    const std::shared_ptr<OutputFile> out = file();
    const std::uint64_t sectorMask = out->header().sectorSize() - 1;
    std::vector<std::uint8_t> piece;
    while (count > 0) {
        if (regular_ && buffer_.empty() && count > sectorMask) {
            const std::uint64_t whole = count & ~sectorMask;
            out->copySectors(tail_, source, offset, whole, owner_);
            offset += whole;
            count -= whole;
            size_ += whole;
            continue;
        }
        // Bytes that do not fill a sector, or a stream still below the cutoff, pass through
        // memory.
        piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(count, kBufferSize)));
        std::size_t got = 0;
        if (const int error = source.readAt(offset, piece.data(), piece.size(), &got)) {
            throw Error::fromErrorNumber(error, ErrorKind::ReadFault,
                                         "reading the source of " + owner_);
        }
        if (got != piece.size()) {
            throw Error(ErrorKind::ReadFault,
                        "reading the source of " + owner_ + ": it ended early");
        }
        write(piece.data(), piece.size());
        offset += got;
        count -= got;
    }
}

void StreamWriter::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    const std::shared_ptr<OutputFile> out = out_.lock();
    if (out == nullptr) {
        return;
    }
    out->unregisterWriter(this);
    if (!out->isOpen()) {
        return;
    }
    DirectoryEntry& entry = out->directory().entry(entry_);
    if (!regular_ && size_ < kMiniStreamCutoff) {
        entry.startSector = out->miniStream().append(*out, buffer_.data(), buffer_.size());
    } else {
        if (!buffer_.empty()) {
            flushWhole(*out);
        }
        entry.startSector = tail_.first;
    }
    entry.size = size_;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

}  // namespace cfb
