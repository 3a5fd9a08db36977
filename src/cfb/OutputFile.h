#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cfb/DirectoryBuilder.h"
#include "cfb/Error.h"
#include "cfb/FatBuilder.h"
#include "cfb/Header.h"
#include "cfb/MiniStreamBuilder.h"

class ReadableFile;
class WritableFile;

namespace cfb {

class StreamWriter;

// The state of a compound file being written, shared by its CompoundFileWriter and the
// StreamWriters it handed out (which hold it weakly, so they may outlive the writer). Every
// failed write is remembered: a file with a failed write can no longer be committed.
class OutputFile {
public:
    OutputFile(std::unique_ptr<WritableFile> file, Version version);
    ~OutputFile();

    Header& header() { return header_; }
    FatBuilder& fat() { return fat_; }
    DirectoryBuilder& directory() { return directory_; }
    MiniStreamBuilder& miniStream() { return miniStream_; }

    // Writes `count` bytes into new sectors at the end of the chain (the last one may be cut).
    void appendSectors(FatBuilder::Tail& tail, const std::uint8_t* data, std::size_t count,
                       const std::string& what);

    // Copies `count` bytes of `source` from `offset` on into new sectors at the end of the
    // chain, in the kernel where the system allows. A large run lands at an offset congruent to
    // `offset` modulo the file's block size, after free sectors where needed (less than a block),
    // and its whole blocks are copied as such: a file system that shares blocks between files
    // then shares them with the source instead of writing them again.
    void copySectors(FatBuilder::Tail& tail, ReadableFile& source, std::uint64_t offset,
                     std::uint64_t count, const std::string& what);

    // New sectors outside any chain, each marked `marker` in the FAT.
    std::vector<std::uint32_t> appendMarked(std::uint32_t count, std::uint32_t marker);

    void writeAt(std::uint64_t offset, const void* data, std::size_t count,
                 const std::string& what);

    // Throws Error(InvalidState) once the file is committed, failed or closed.
    void checkOpen() const;
    bool isOpen() const { return file_ != nullptr && !failure_; }
    // Remembers the first failure; later ones add nothing.
    void fail(const Error& error);
    const std::optional<Error>& failure() const { return failure_; }

    void registerWriter(StreamWriter* writer) { writers_.insert(writer); }
    void unregisterWriter(StreamWriter* writer) { writers_.erase(writer); }
    // The entries of the StreamWriters still open.
    std::vector<std::uint32_t> openEntries() const;
    // Closes every StreamWriter still open.
    void closeWriters();

    // Sets the file's length, flushes it to disk when asked to, and closes it.
    void finish(std::uint64_t length, bool flushToDisk);
    // Closes the file without finishing it; errors are ignored.
    void abandon();

private:
    template <typename Operation>
    void guarded(Operation operation);
    void padBeforeCopyOf(std::uint64_t sourceOffset, std::uint64_t count);
    void copyInBlocks(ReadableFile& source, std::uint64_t from, std::uint64_t to,
                      std::uint64_t count, const std::string& what);

    std::unique_ptr<WritableFile> file_;
    std::uint64_t blockSize_;
    Header header_;
    FatBuilder fat_;
    DirectoryBuilder directory_;
    MiniStreamBuilder miniStream_;
    std::optional<Error> failure_;
    std::set<StreamWriter*> writers_;
};

}  // namespace cfb
