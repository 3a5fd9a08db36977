#pragma once

#include <functional>
#include <memory>

#include <cstddef>
#include <cstdint>

// A file opened for reading at arbitrary offsets. Positions are 64-bit.
class ReadableFile;

// Opens a file for reading, as Env::openReadable does: returns 0 or an error number.
using ReadableFileOpener = std::function<int(std::unique_ptr<ReadableFile>*)>;

class ReadableFile {
public:
    virtual ~ReadableFile() = default;

    // Reads up to `count` bytes at `offset` into `buffer` and stores how many arrived in
    // `*bytesRead`; fewer than asked only at the end of the file. Returns 0 or an error number.
    virtual int readAt(std::uint64_t offset, void* buffer, std::size_t count,
                       std::size_t* bytesRead) = 0;

    // The length of the file when it was opened.
    virtual std::uint64_t size() const = 0;
};
