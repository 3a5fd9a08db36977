#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/ReadableFile.h"

class ReadableFile;
class WritableFile;

namespace cfb {
class CompoundFileReader;
class CompoundFileWriter;
}  // namespace cfb

// The root storage of the input compound file (read only, writers denied) and the root storage
// of the output compound file (created exclusively), with the copy of the input's elements that
// the program does not write itself.
class OLEStorage {
public:
    OLEStorage();
    OLEStorage(const OLEStorage&) = delete;
    OLEStorage& operator=(const OLEStorage&) = delete;
    // Releases the input. An output that was not committed is committed on a best-effort basis
    // (failures cannot be reported here); callers that use the output call commit() themselves.
    virtual ~OLEStorage();

    // Opens the compound file at `path` as the input root. Throws OLEStorageSharingException when
    // another program holds it for writing, OLEStorageNotStorageException when it is not a
    // compound file, and Exception with an HRESULTErrorDetail "opening storage [path]" otherwise.
    // With `opener` the file is opened through it; `path` then only names it in messages.
    void open(const std::filesystem::path& path, const ReadableFileOpener& opener = {});
    // The same for a file already at hand; `name` stands for it in messages.
    void open(std::unique_ptr<ReadableFile> file, const std::filesystem::path& name);

    // Creates or replaces the compound file at `path` as the output root. Throws
    // OLEStorageSharingException on a sharing or lock conflict and Exception with an
    // HRESULTErrorDetail "creating storage [path]" otherwise.
    void create(const std::filesystem::path& path);
    // The same for a new, empty file already open; `name` stands for it in messages.
    void create(std::unique_ptr<WritableFile> file, const std::filesystem::path& name);

    // Throw Exception "Invalid read stream handle" / "Invalid write stream handle" when absent.
    cfb::CompoundFileReader& readStorage();
    cfb::CompoundFileWriter& writeStorage();

    // Copies into the output root every sub-storage of the input root and every stream that
    // isCopiedStream() accepts, then the input root's own class identifier and state bits.
    // An element that fails to copy throws Exception with an HRESULTErrorDetail
    // "copying element [name]" (an element missing from the output would be lost when the output
    // replaces the input); the output stays a valid compound file, without that element. The one
    // failure passed over is the collision of a name that differs from a listed stream only in
    // letter case ("current user") with the stream the program wrote under the listed name.
    void copyRemainingElements();

    // False for the streams the program writes itself or leaves out of the output. The names
    // compare exactly, code unit by code unit.
    static bool isCopiedStream(const std::string& name);
    static bool isCopiedStream(const std::u16string& name);

    // Completes the output file: writes its remaining structures and closes it. The file is not
    // flushed to disk: outputs are temporary files, and the one that replaces a presentation is
    // flushed by the replacement itself. Throws Exception with an HRESULTErrorDetail "committing
    // storage [path]" on failure, also when a write into the output failed earlier. Does nothing
    // without an output.
    void commit();

    bool hasOutput() const { return writeHandle_ != nullptr; }

private:
    void openWith(const std::function<std::unique_ptr<cfb::CompoundFileReader>()>& opener,
                  const std::filesystem::path& path);
    void createWith(const std::function<std::unique_ptr<cfb::CompoundFileWriter>()>& creator,
                    const std::filesystem::path& path);

    std::unique_ptr<cfb::CompoundFileReader> readHandle_;
    std::unique_ptr<cfb::CompoundFileWriter> writeHandle_;
    std::filesystem::path outputPath_;
    bool committed_ = false;
};
