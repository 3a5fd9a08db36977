#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "streams/OLEStorage.h"
#include "streams/OLEStream.h"

// A named stream of a presentation: read from the input compound file, rewritten into the output
// compound file under the same name. Reading and writing use separate handles on the two files,
// so the old content stays readable while the new one is written.
class Stream {
public:
    explicit Stream(std::string name) : name_(std::move(name)) {}
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    virtual ~Stream() = default;

    // Creates (or replaces) the stream in the storage's output root. Throws IOException
    // "Error creating stream [<name>]".
    void create(OLEStorage& storage);
    // Opens the stream of the storage's input root. Throws IOException
    // "Error opening stream [<name>]" when there is no such stream.
    void open(OLEStorage& storage);

    OLEStream& oleStream() { return oleStream_; }
    const std::string& name() const { return name_; }

    // Reads up to `count` bytes; a short count only at the end, no byte at all throws.
    std::size_t read(std::uint8_t* buffer, std::size_t count) {
        return oleStream_.read(buffer, count);
    }
    void seek(std::int64_t offset, SeekOrigin origin) { oleStream_.seek(offset, origin); }
    std::int64_t tell() { return oleStream_.tell(); }
    bool isOpen() const { return oleStream_.isOpen(); }
    void write(const std::uint8_t* buffer, std::size_t count) { oleStream_.write(buffer, count); }

    // True when the stream holds at least `count` bytes.
    bool hasAtLeast(std::uint64_t count) const { return oleStream_.size() >= count; }

private:
    OLEStream oleStream_;
    std::string name_;
};
