#include "streams/CompoundFile.h"

#include "platform/ReadableFile.h"

CompoundFile::CompoundFile(std::filesystem::path inputPath, const ReadableFileOpener& openInput)
    : inputPath_(std::move(inputPath)) {
    storage_.open(inputPath_, openInput);
}

CompoundFile::CompoundFile(std::unique_ptr<ReadableFile> input, std::filesystem::path inputName)
    : inputPath_(std::move(inputName)) {
    storage_.open(std::move(input), inputPath_);
}
