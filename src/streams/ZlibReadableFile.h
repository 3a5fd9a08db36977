#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "platform/ReadableFile.h"

class OLEStream;
class Inflater;

// The bytes that zlib-format data inflates to, read at any offset without being stored anywhere:
// the data stays compressed in its stream and is inflated again on demand. While the whole data
// is inflated once by measure(), the inflater's state is copied at intervals, so that a later
// read that goes back starts from the nearest copy instead of from the beginning; a few of the
// blocks inflated last are kept. What it holds is bounded, whatever the size: at most
// kMaxCheckpoints copies (about 40 KiB each) and kCachedBlocks blocks of kBlockBytes.
// Inflating follows ZlibInputStream: data that stops without its end marker ends the bytes there,
// damaged data throws IOException with a ZlibErrorDetail, bytes after the end marker are ignored.
class ZlibReadableFile : public ReadableFile {
public:
    static constexpr std::size_t kBlockBytes = 64 << 10;
    static constexpr std::size_t kCachedBlocks = 4;
    static constexpr std::size_t kMaxCheckpoints = 16;

    // The compressed data lies at `offset` of `source`, `length` bytes long.
    ZlibReadableFile(std::unique_ptr<OLEStream> source, std::uint64_t offset, std::uint64_t length);
    ZlibReadableFile(const ZlibReadableFile&) = delete;
    ZlibReadableFile& operator=(const ZlibReadableFile&) = delete;
    ~ZlibReadableFile() override;

    // Inflates the data from the start, at most `limit` bytes of it, and returns how many bytes
    // that gave; from then on those bytes are the file. Throws IOException for damaged data and
    // what reading the source throws.
    std::uint64_t measure(std::uint64_t limit);

    // Reads the inflated bytes. Throws what reading the source throws.
    int readAt(std::uint64_t offset, void* buffer, std::size_t count,
               std::size_t* bytesRead) override;

    std::uint64_t size() const override { return size_; }

    // Lets go of everything held to speed up reading; a later read inflates from the start.
    void trim();

    // How many bytes have been inflated in all, repeats included (for tests and benchmarks).
    std::uint64_t inflatedBytes() const { return inflatedBytes_; }

private:
    struct Block {
        std::uint64_t index;
        std::vector<std::uint8_t> bytes;
    };

    const Block& block(std::uint64_t index);
    // Inflates the next block of the live inflater into `out`; returns how many bytes it gave.
    std::size_t inflateBlock(std::uint8_t* out);
    void restart(std::uint64_t target);
    void keepCheckpoint();

    std::unique_ptr<OLEStream> source_;
    std::uint64_t offset_;
    std::uint64_t length_;
    std::uint64_t size_ = 0;
    std::unique_ptr<Inflater> live_;
    std::vector<std::unique_ptr<Inflater>> checkpoints_;  // by ascending output position
    std::uint64_t checkpointSpacing_ = 4 * kBlockBytes;
    std::list<Block> cache_;  // most recently used first
    std::uint64_t inflatedBytes_ = 0;
};
