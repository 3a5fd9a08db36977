#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "streams/SeekOrigin.h"

namespace cfb {
class StreamReader;
class StreamWriter;
}  // namespace cfb

class OLEStorage;

// One named stream of a compound file, with a handle for reading the stream of the input file
// and a handle for writing the stream of the same name into the output file.
class OLEStream {
public:
    OLEStream();
    OLEStream(const OLEStream&) = delete;
    OLEStream& operator=(const OLEStream&) = delete;
    virtual ~OLEStream();

    // Opens the stream `name` of the storage's input root for reading and takes its size.
    // Returns false when there is no such stream; throws when the storage has no input root.
    bool open(OLEStorage& storage, const std::string& name);

    // Creates (or replaces) the stream `name` in the storage's output root for writing.
    // Returns false when that fails; throws when the storage has no output root.
    bool create(OLEStorage& storage, const std::string& name);

    // Reads up to `count` bytes at the read position. A count of 0 returns 0; a read that
    // finds no byte at all throws IOException "reading 0 bytes from stream".
    std::size_t read(std::uint8_t* buffer, std::size_t count);

    // Moves the read position. Positions beyond the end are allowed; reading there fails. A
    // position before the start throws IOException "setting seek pointer".
    void seek(std::int64_t offset, SeekOrigin origin);
    std::int64_t tell();

    // Appends to the output stream.
    void write(const std::uint8_t* buffer, std::size_t count);

    std::uint64_t size() const { return size_; }
    bool isOpen() const { return readHandle_ != nullptr; }
    bool isCreated() const { return writeHandle_ != nullptr; }

    // Lets go of both handles; the output stream is complete from then on.
    void release();

private:
    std::unique_ptr<cfb::StreamReader> readHandle_;
    std::unique_ptr<cfb::StreamWriter> writeHandle_;
    std::uint64_t size_ = 0;
};
