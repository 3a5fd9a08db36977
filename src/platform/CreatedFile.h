#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

class ReadableFile;
class WritableFile;

// A new file this run created, held by the handle it was created with. Everything done with the
// file goes through that handle: its name lies in a folder others may write, and may name
// another file by the time it is used. The name is only ever used to delete the file or to give
// it another name, each time after checking that it still names this file.
// Every call returns 0 or an error number.
class CreatedFile {
public:
    // The name no longer names this file: someone renamed it or put another file in its place.
    static constexpr int kNameTaken = -4;

    // Closes the handle; the file stays where it is.
    virtual ~CreatedFile() = default;

    // The path the file was created under: for messages and for telling folders apart.
    virtual const std::filesystem::path& path() const = 0;

    // A writer and a reader of this very file (the handle duplicated, never the name reopened);
    // each may outlive this object.
    virtual int openWriter(std::unique_ptr<WritableFile>* file) = 0;
    virtual int openReader(std::unique_ptr<ReadableFile>* file) = 0;

    // The file's current length.
    virtual int size(std::uint64_t* bytes) = 0;

    // Takes the file's name away, if it still names this file (kNameTaken otherwise).
    virtual int remove() = 0;
};
