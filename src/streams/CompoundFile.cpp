#include "streams/CompoundFile.h"

CompoundFile::CompoundFile(std::filesystem::path inputPath, std::filesystem::path outputPath,
                           const ReadableFileOpener& openInput)
    : inputPath_(std::move(inputPath)), outputPath_(std::move(outputPath)) {
    storage_.open(inputPath_, openInput);
}
