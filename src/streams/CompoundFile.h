#pragma once

#include <filesystem>

#include "streams/OLEStorage.h"

// A pair of compound files: the input, opened for reading when this object is built, and the
// output, created later by whoever writes it (create() of storage()).
class CompoundFile {
public:
    // With `openInput` the input is opened through it instead of by its path.
    CompoundFile(std::filesystem::path inputPath, std::filesystem::path outputPath,
                 const ReadableFileOpener& openInput = {});
    virtual ~CompoundFile() = default;

    OLEStorage& storage() { return storage_; }
    const std::filesystem::path& inputPath() const { return inputPath_; }
    const std::filesystem::path& outputPath() const { return outputPath_; }

private:
    OLEStorage storage_;
    std::filesystem::path inputPath_;
    std::filesystem::path outputPath_;
};
