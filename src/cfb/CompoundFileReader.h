#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cfb/AllocationTable.h"
#include "cfb/Directory.h"
#include "platform/ReadableFile.h"

class Env;
class ReadableFile;

namespace cfb {

class MiniStream;
class SectorClaims;
class SectorReader;
class StreamReader;

// A compound file opened for reading, with writers shut out while it is open. Everything the
// file's structures say is checked when it is opened (see open()), so that later reads need no
// further checks than the ones a stream's own size asks for.
class CompoundFileReader {
public:
    static constexpr std::uint32_t kRoot = Directory::kRoot;

    // Opens the file, shared with other readers only. Throws Error: ShareViolation when another
    // process holds it for writing, NotCompoundFile when it is shorter than a header or lacks the
    // signature, Corrupt (with the exact place) for any structure that contradicts the format or
    // another structure, and the file-access kinds when the system refuses.
    // With `opener` the file is opened through it instead of by its path.
    static std::unique_ptr<CompoundFileReader> open(Env& env, const std::filesystem::path& path,
                                                    const ReadableFileOpener& opener = {});
    // The same for a file already opened (or held in memory); throws what the other open
    // throws for the file's content.
    static std::unique_ptr<CompoundFileReader> open(std::unique_ptr<ReadableFile> file);

    ~CompoundFileReader();

    // The children of a storage (kRoot for the root) in format order, and their entries: name,
    // type, CLSID, state bits, times and size.
    std::vector<std::uint32_t> children(std::uint32_t storage) const {
        return directory_.children(storage);
    }
    const DirectoryEntry& entry(std::uint32_t id) const { return directory_.entry(id); }

    // The child of `storage` whose name equals `name` in the format's upper-case comparison.
    std::optional<std::uint32_t> find(std::uint32_t storage, const std::u16string& name) const {
        return directory_.find(storage, name);
    }

    // Opens a stream entry for reading. The reader works on its own: it stays usable after this
    // object is gone.
    std::unique_ptr<StreamReader> openStream(std::uint32_t id) const;

    Version version() const;

private:
    CompoundFileReader(std::shared_ptr<SectorReader> reader, AllocationTable fat,
                       Directory directory, std::shared_ptr<const MiniStream> miniStream);
    void checkStreams(SectorClaims& claims) const;

    std::shared_ptr<SectorReader> reader_;
    AllocationTable fat_;
    Directory directory_;
    std::shared_ptr<const MiniStream> miniStream_;
};

}  // namespace cfb
