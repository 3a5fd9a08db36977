#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "cfb/DirectoryEntry.h"
#include "cfb/Format.h"

class Env;
class WritableFile;

namespace cfb {

class CompoundFileReader;
class OutputFile;
class StreamWriter;

// A compound file being written, created exclusively. Streams are written sequentially (several
// at once if need be), elements of another compound file are copied in, and commit() lays out
// the rest of the file. Time and memory follow what is written, not the size of the file.
class CompoundFileWriter {
public:
    static constexpr std::uint32_t kRoot = 0;

    // Creates or replaces the file, holding it exclusively (the file is emptied only once it is
    // held). Throws Error: LockViolation when another process holds the file, and the
    // file-access kinds when the system refuses. Version 4 is for tests.
    static std::unique_ptr<CompoundFileWriter> create(Env& env, const std::filesystem::path& path,
                                                      Version version = Version::V3);
    // Writes into a new, empty file already open.
    static std::unique_ptr<CompoundFileWriter> create(std::unique_ptr<WritableFile> file,
                                                      Version version = Version::V3);

    // Closes the file without committing it: what was written is not a compound file.
    ~CompoundFileWriter();

    // Creates (or replaces) the stream `name` in the storage `parent` and opens it for writing.
    // Throws Error(InvalidName) for a name the format does not allow, and Error(AccessDenied)
    // when the stream to replace is still open for writing.
    std::unique_ptr<StreamWriter> createStream(std::uint32_t parent, const std::u16string& name);

    // Creates an empty storage; throws Error(AlreadyExists) when the name is taken.
    std::uint32_t createStorage(std::uint32_t parent, const std::u16string& name);

    void setClsid(std::uint32_t id, const DirectoryEntry::Clsid& clsid);
    void setStateBits(std::uint32_t id, std::uint32_t stateBits);

    // Copies the element `sourceId` of `source` into the storage `parent` under the same name:
    // a stream byte for byte, a storage with everything below it, each with its CLSID, state
    // bits and times. Throws Error(AlreadyExists) when `parent` already has an element of that
    // name. On failure nothing of the element stays behind.
    void copyElement(const CompoundFileReader& source, std::uint32_t sourceId,
                     std::uint32_t parent);

    // Gives the root the CLSID and state bits of the source's root.
    void copyRootAttributes(const CompoundFileReader& source);

    // Whether commit() flushes the file to disk. A temporary file, or one that is flushed anyway
    // before it is put in its place, need not be flushed twice.
    enum class Flush { ToDisk, Skip };

    // Closes the streams still open, writes the mini stream, mini FAT, directory, FAT, DIFAT and
    // header, flushes the file to disk unless told to skip that, and closes it. Throws Error on
    // any failure, also one that happened earlier while writing (for instance in a
    // StreamWriter's destructor). Once committed, later calls do nothing; once failed, they
    // throw again.
    void commit(Flush flush = Flush::ToDisk);

    bool committed() const { return committed_; }

private:
    explicit CompoundFileWriter(std::shared_ptr<OutputFile> out);
    std::uint32_t addEntry(std::uint32_t parent, const std::u16string& name, EntryType type);
    void copyStream(const CompoundFileReader& source, std::uint32_t sourceId, std::uint32_t target);
    void copyTree(const CompoundFileReader& source, std::uint32_t sourceId, std::uint32_t target);
    void removeEntry(std::uint32_t id);
    void writeStructures(Flush flush);
    std::string describe(std::uint32_t id) const;

    std::shared_ptr<OutputFile> out_;
    bool committed_ = false;
};

}  // namespace cfb
