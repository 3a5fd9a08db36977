#include "pptformat/Record.h"

#include <algorithm>
#include <vector>

#include "errors/Exception.h"
#include "errors/IOException.h"
#include "errors/StringErrorDetail.h"
#include "pptformat/RecordType.h"
#include "streams/CRCOutputStream.h"
#include "streams/CopyStream.h"
#include "streams/FileInputStream.h"
#include "streams/FileOutputStream.h"
#include "streams/TempFileInputStream.h"
#include "streams/ZlibOutputStream.h"

namespace {

constexpr std::size_t kCopyChunk = 64 * 1024;
constexpr std::uint16_t kInstanceMask = 0xFFF0;
constexpr std::uint16_t kInstanceOne = 0x0010;

[[noreturn]] void fail(const char* text) {
    throw IOException(std::make_unique<StringErrorDetail>(text));
}

std::uint32_t checked32(std::uint64_t value) {
    if (value > UINT32_MAX) {
        fail("Record too large");
    }
    return static_cast<std::uint32_t>(value);
}

// Reads a record header at the current position. A header cut off by the end of the stream
// keeps zeros where its bytes are missing.
RecordHeader readHeader(InputStream& in) {
    std::uint8_t bytes[RecordHeader::kSize] = {};
    in.read(bytes, sizeof bytes);
    return RecordHeader::parse(bytes);
}

}  // namespace

bool Record::isContainer() const {
    return (verInstance_ & 0x000F) == 0x000F && type_ != RecordType::kNeverContainer;
}

void Record::setLength(std::uint64_t length) {
    length_ = checked32(length);
}

void Record::setUncompressedSize(std::uint64_t size) {
    uncompressedSize_ = checked32(size);
}

void Record::setMemoryBody(const std::uint8_t* body, std::size_t size) {
    memoryBody_ = body;
    memoryBodySize_ = size;
}

TempFile& Record::tempFile() {
    if (!tempBody_) {
        tempBody_ = std::make_unique<TempFile>();
    }
    return *tempBody_;
}

bool Record::compress() {
    auto packed = std::make_unique<TempFile>();
    try {
        FileInputStream in(tempBody_->openReader());
        FileOutputStream file(packed->openWriter());
        ZlibOutputStream zlib(file);
        CRCOutputStream crc(zlib);
        copyStream(in, crc);
        zlib.finish();
        file.close();
    } catch (const Exception&) {
        return false;
    }
    tempBody_ = std::move(packed);
    return true;
}

std::uint64_t Record::write(OutputStream& out, OLEStream& source) const {
    std::uint8_t headerBytes[RecordHeader::kSize];
    header().serialize(headerBytes);
    out.write(headerBytes, sizeof headerBytes);
    if (isContainer()) {
        return RecordHeader::kSize;
    }
    if (memoryBody_ != nullptr) {
        if (memoryBodySize_ != length_) {
            fail("Record body size mismatch");
        }
        out.write(memoryBody_, length_);
    } else if (tempBody_) {
        writeTempBody(out);
    } else {
        copyStoredBody(out, source);
    }
    return RecordHeader::kSize + static_cast<std::uint64_t>(length_);
}

std::uint64_t Record::writeTempBody(OutputStream& out) const {
    std::uint64_t expected = length_;
    if ((verInstance_ & kInstanceMask) == kInstanceOne) {
        if (expected < 4) {
            fail("Record body size mismatch");
        }
        std::uint8_t size[4];
        LittleEndian::writeU32(size, uncompressedSize_);
        out.write(size, sizeof size);
        expected -= 4;
    }
    TempFileInputStream in(*tempBody_);
    if (copyStream(in, out) != expected) {
        fail("Record body size mismatch");
    }
    return expected;
}

void Record::copyStoredBody(OutputStream& out, OLEStream& source) const {
    if (length_ == 0) {
        return;
    }
    source.seek(static_cast<std::int64_t>(bodyOffset_), SeekOrigin::Begin);
    std::vector<std::uint8_t> buffer(std::min<std::size_t>(length_, kCopyChunk));
    std::uint64_t left = length_;
    while (left > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        const std::size_t got = source.read(buffer.data(), want);
        out.write(buffer.data(), got);
        left -= got;
    }
}

void Record::readRecordTree(RecordList& list, InputStream& in, std::uint64_t offset) {
    in.seek(static_cast<std::int64_t>(offset), SeekOrigin::Begin);
    RecordHeader header = readHeader(in);
    const Record* current = &list.emplace_back(header, static_cast<std::uint64_t>(in.tell()));
    // Signed as in the file format's own accounting: a length of 2^31 or more overruns at once.
    std::int64_t remaining = static_cast<std::int32_t>(current->length());
    for (;;) {
        if (remaining < 0) {
            fail("Record length overrun");
        }
        if (remaining == 0) {
            return;
        }
        if (!current->isContainer()) {
            in.seek(current->length(), SeekOrigin::Current);
            remaining -= current->length();
            if (remaining == 0) {
                return;
            }
        }
        header = readHeader(in);
        current = &list.emplace_back(header, static_cast<std::uint64_t>(in.tell()));
        remaining -= static_cast<std::int64_t>(RecordHeader::kSize);
    }
}

std::size_t Record::checkContainer(const RecordList& list, std::size_t position) {
    // Remaining body bytes of each container entered, innermost last; an explicit stack, so that
    // deeply nested damage cannot exhaust the call stack.
    std::vector<std::int64_t> open{static_cast<std::int32_t>(list[position].length())};
    while (!open.empty()) {
        if (open.back() <= 0) {
            open.pop_back();
            continue;
        }
        if (position + 1 >= list.size()) {
            return position;
        }
        const Record& child = list[++position];
        open.back() -= static_cast<std::int64_t>(RecordHeader::kSize) + child.length();
        if (open.back() < 0) {
            fail("Container length overrun");
        }
        if (child.isContainer()) {
            open.push_back(static_cast<std::int32_t>(child.length()));
        }
    }
    return position;
}
