#include "streams/CompoundFile.h"

#include "platform/ReadableFile.h"

CompoundFile::CompoundFile(std::filesystem::path inputPath, std::filesystem::path outputPath,
                           const ReadableFileOpener& openInput)
    : inputPath_(std::move(inputPath)), outputPath_(std::move(outputPath)) {
    storage_.open(inputPath_, openInput);
}

CompoundFile::CompoundFile(std::unique_ptr<ReadableFile> input, std::filesystem::path inputName,
                           std::filesystem::path outputPath)
    : inputPath_(std::move(inputName)), outputPath_(std::move(outputPath)) {
    storage_.open(std::move(input), inputPath_);
}
