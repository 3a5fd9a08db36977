#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "pptformat/RecordHeader.h"
#include "streams/InputStream.h"
#include "streams/OLEStream.h"
#include "streams/OutputStream.h"
#include "streams/TempFile.h"

class Record;
// Records of a Document stream in stream order. A deque, so that records never move and can be
// referred to by address while the list grows.
using RecordList = std::deque<Record>;

// One record of the Document stream. A loaded record does not hold its body: it remembers where
// the body lies in the source stream and copies it from there when written, unless a replacement
// body was attached (in memory, owned by someone else, or in a temporary file owned here).
class Record {
public:
    Record(const RecordHeader& header, std::uint64_t bodyOffset)
        : bodyOffset_(bodyOffset),
          verInstance_(header.verInstance),
          type_(header.type),
          length_(header.length) {}
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    Record(Record&&) = default;
    Record& operator=(Record&&) = default;
    ~Record() = default;

    std::uint64_t bodyOffset() const { return bodyOffset_; }
    std::uint16_t verInstance() const { return verInstance_; }
    std::uint16_t type() const { return type_; }
    std::uint32_t length() const { return length_; }
    RecordHeader header() const { return {verInstance_, type_, length_}; }

    // A container is a record of version 0xF, except type 0x0428, which is always an atom.
    bool isContainer() const;

    void setVerInstance(std::uint16_t verInstance) { verInstance_ = verInstance; }
    // Throws IOException when the length does not fit the 32 bits of a record header.
    void setLength(std::uint64_t length);
    // Throws IOException when the size does not fit its 32-bit field.
    void setUncompressedSize(std::uint64_t size);

    // Makes `body` (owned by the caller, alive for every later write) the record's body. It must
    // be exactly `length()` bytes long when the record is written.
    void setMemoryBody(const std::uint8_t* body, std::size_t size);

    // The temporary file that holds the replacement body; created empty on first request.
    TempFile& tempFile();
    bool hasTempBody() const { return tempBody_ != nullptr; }
    void discardTempFile() { tempBody_.reset(); }

    // Replaces the temporary body by its complete zlib stream. False when that failed; the old
    // body then stays. Only the creation of the new temporary file may throw.
    bool compress();

    // Writes the header and, for an atom, its body: the memory body, else the temporary body
    // (after the 4-byte uncompressed size when the instance is 1), else the stored body copied
    // from `source`. Returns the bytes the record accounts for: 8 for a container, 8 + length
    // for an atom.
    std::uint64_t write(OutputStream& out, OLEStream& source) const;

    // Reads one persisted object at `offset`: its top record and all records inside it, appended
    // to `list` in stream order. Bodies are skipped, not read.
    static void readRecordTree(RecordList& list, InputStream& in, std::uint64_t offset);

    // Checks that no record inside the container at `position` runs past the container's end.
    // Returns the position of the last record the container covers.
    static std::size_t checkContainer(const RecordList& list, std::size_t position);

private:
    void copyStoredBody(OutputStream& out, OLEStream& source) const;
    std::uint64_t writeTempBody(OutputStream& out) const;

    std::uint64_t bodyOffset_;
    std::uint16_t verInstance_;
    std::uint16_t type_;
    std::uint32_t length_;
    std::uint32_t uncompressedSize_ = 0;
    const std::uint8_t* memoryBody_ = nullptr;
    std::size_t memoryBodySize_ = 0;
    std::unique_ptr<TempFile> tempBody_;
};
