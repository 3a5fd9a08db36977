#include "pptformat/PropertyRecord.h"

#include <algorithm>
#include <stdexcept>

#include "errors/IOException.h"
#include "errors/PropertySizeException.h"
#include "errors/StringErrorDetail.h"
#include "pptformat/RecordType.h"
#include "streams/LittleEndian.h"

namespace {

constexpr std::size_t kEntrySize = 6;
constexpr std::uint16_t kIdMask = 0x3FFF;
constexpr std::uint16_t kComplexFlag = 0x8000;

struct PropertyEntry {
    std::uint16_t key;
    std::uint32_t value;
    bool isComplex() const { return (key & kComplexFlag) != 0; }
};

// Reads one 6-byte entry; returns how many bytes arrived (missing bytes read as zeros).
std::size_t readEntry(InputStream& in, PropertyEntry* entry) {
    std::uint8_t bytes[kEntrySize] = {};
    const std::size_t got = in.read(bytes, sizeof bytes);
    if (got == 0) {
        // Every entry consumes bytes; a stream that has none left ends the parse.
        throw IOException(std::make_unique<StringErrorDetail>("Unexpected end of stream"));
    }
    entry->key = LittleEndian::readU16(bytes);
    entry->value = LittleEndian::readU32(bytes + 2);
    return got;
}

RecordHeader readHeader(InputStream& in) {
    std::uint8_t bytes[RecordHeader::kSize] = {};
    in.read(bytes, sizeof bytes);
    return RecordHeader::parse(bytes);
}

}  // namespace

PropertyRecord::PropertyRecord(const Record& table, InputStream& in, Record* shape)
    : tableRecord_(table), shapeRecord_(shape) {
    in.seek(static_cast<std::int64_t>(table.bodyOffset()), SeekOrigin::Begin);
    std::int64_t remaining = static_cast<std::int32_t>(table.length());
    // The complex data is only passed over, never held: its sizes come from the file.
    std::uint64_t complexBytes = 0;
    while (remaining > 0) {
        PropertyEntry entry{};
        remaining -= static_cast<std::int64_t>(readEntry(in, &entry));
        if (remaining < 0) {
            if (hasProperty(kPib)) {
                throw PropertySizeException(
                    std::make_unique<StringErrorDetail>("Container length overrun"));
            }
            throw std::runtime_error("Bad Property record");
        }
        propertyIds_.push_back(entry.key & kIdMask);
        if (entry.isComplex()) {
            complexBytes += entry.value;
            remaining -= entry.value;
        }
    }
    // Seeking past the end is allowed; the header read that follows then fails, just as reading
    // complex data that the stream does not hold would.
    in.seek(static_cast<std::int64_t>(complexBytes), SeekOrigin::Current);
    skipFollowingTables(in);
    if (shape != nullptr) {
        in.seek(static_cast<std::int64_t>(shape->bodyOffset()), SeekOrigin::Begin);
        in.read(shapeBytes_.data(), shapeBytes_.size());
    }
}

void PropertyRecord::skipFollowingTables(InputStream& in) {
    RecordHeader next = readHeader(in);
    if (next.type == RecordType::kSecondaryShapeProperties) {
        in.seek(next.length, SeekOrigin::Current);
        next = readHeader(in);
    }
    if (next.type == RecordType::kTertiaryShapeProperties) {
        std::int64_t left = static_cast<std::int32_t>(next.length);
        std::uint64_t skip = 0;
        while (left > 0) {
            PropertyEntry entry{};
            left -= static_cast<std::int64_t>(readEntry(in, &entry));
            if (entry.isComplex()) {
                left -= entry.value;
                skip += entry.value;
            }
        }
        in.seek(static_cast<std::int64_t>(skip), SeekOrigin::Current);
        readHeader(in);
    }
}

bool PropertyRecord::hasProperty(std::uint16_t id) const {
    return std::find(propertyIds_.begin(), propertyIds_.end(), id) != propertyIds_.end();
}

std::uint32_t PropertyRecord::shapeFlags() const {
    return LittleEndian::readU32(shapeBytes_.data() + 4);
}

void PropertyRecord::setShapeFlags(std::uint32_t flags) {
    LittleEndian::writeU32(shapeBytes_.data() + 4, flags);
}
