#pragma once

#include <filesystem>
#include <memory>

#include "streams/OLEStorage.h"

class TempFile;

// A pair of compound files: the input, opened for reading when this object is built, and the
// output, created later by whoever writes it (create() of storage()). The output file may be
// given late, so that no output file has to exist while it is unknown whether one is needed.
class CompoundFile {
public:
    // With `openInput` the input is opened through it instead of by its path.
    explicit CompoundFile(std::filesystem::path inputPath,
                          const ReadableFileOpener& openInput = {});
    // An input already at hand (in memory, say); `inputName` stands for it in messages.
    CompoundFile(std::unique_ptr<ReadableFile> input, std::filesystem::path inputName);
    virtual ~CompoundFile() = default;

    OLEStorage& storage() { return storage_; }
    const std::filesystem::path& inputPath() const { return inputPath_; }
    // Where the output goes; null until given. Only before the output is created.
    TempFile* output() const { return output_; }
    void setOutput(TempFile& output) { output_ = &output; }

private:
    OLEStorage storage_;
    std::filesystem::path inputPath_;
    TempFile* output_ = nullptr;
};
