#pragma once

#include <cstddef>
#include <cstdint>

class ReadableFile;

// A file opened for writing at arbitrary offsets. Every operation returns 0 or an error number;
// a write either stores all its bytes or fails.
class WritableFile {
public:
    virtual ~WritableFile() = default;

    virtual int writeAt(std::uint64_t offset, const void* buffer, std::size_t count) = 0;

    // Copies `count` bytes from `source` at `sourceOffset` to `offset` of this file, inside the
    // kernel where the platform allows it. Fails with an error number if the source ends early.
    virtual int copyFrom(ReadableFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                         std::uint64_t count) = 0;

    // The file system's block size for this file: a power of two from 4096 to 65536 (4096 where
    // the system reports nothing in that range). A copyFrom whose offsets and length are all
    // multiples of it moves whole blocks, which a file system that can share blocks between
    // files (block cloning) shares instead of writing them again; elsewhere it is a plain copy.
    virtual std::uint32_t blockSize() const = 0;

    virtual int truncate(std::uint64_t size) = 0;

    // Flushes the file's data to the disk.
    virtual int sync() = 0;

    // Closes the file; its result reports errors that only show when the file is closed.
    // Afterwards every operation fails.
    virtual int close() = 0;
};
