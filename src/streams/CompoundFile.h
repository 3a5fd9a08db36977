#pragma once

#include <filesystem>
#include <memory>
#include <utility>

#include "streams/OLEStorage.h"

// A pair of compound files: the input, opened for reading when this object is built, and the
// output, created later by whoever writes it (create() of storage()). The output path may be
// given late, so that no output file has to exist while it is unknown whether one is needed.
class CompoundFile {
public:
    // With `openInput` the input is opened through it instead of by its path.
    CompoundFile(std::filesystem::path inputPath, std::filesystem::path outputPath,
                 const ReadableFileOpener& openInput = {});
    // An input already at hand (in memory, say); `inputName` stands for it in messages.
    CompoundFile(std::unique_ptr<ReadableFile> input, std::filesystem::path inputName,
                 std::filesystem::path outputPath);
    virtual ~CompoundFile() = default;

    OLEStorage& storage() { return storage_; }
    const std::filesystem::path& inputPath() const { return inputPath_; }
    const std::filesystem::path& outputPath() const { return outputPath_; }
    // Only before the output is created.
    void setOutputPath(std::filesystem::path outputPath) { outputPath_ = std::move(outputPath); }

private:
    OLEStorage storage_;
    std::filesystem::path inputPath_;
    std::filesystem::path outputPath_;
};
