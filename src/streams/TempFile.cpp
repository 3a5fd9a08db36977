#include "streams/TempFile.h"

#include <memory>

#include "errors/DualErrorDetail.h"
#include "errors/ErrnoErrorDetail.h"
#include "errors/FileCreateException.h"
#include "errors/FileNotFoundException.h"
#include "errors/HRESULTErrorDetail.h"
#include "errors/StringErrorDetail.h"
#include "errors/TempFileCreationException.h"
#include "platform/Env.h"

namespace {

std::unique_ptr<CreatedFile> Create(const std::filesystem::path& folder) {
    std::unique_ptr<CreatedFile> file;
    if (const int error = Env::Default().createFile(folder, TempFile::kPrefix, &file)) {
        throw TempFileCreationException(
            std::make_unique<HRESULTErrorDetail>(HRESULTErrorDetail::fromErrorNumber(error), ""));
    }
    return file;
}

[[noreturn]] void ThrowNotFound(int error, const std::filesystem::path& path) {
    throw FileNotFoundException(
        std::make_unique<DualErrorDetail>(std::make_unique<ErrnoErrorDetail>(error),
                                          std::make_unique<StringErrorDetail>(path.u8string())));
}

}  // namespace

TempFile::TempFile() : TempFile(Env::Default().tempFolder()) {}

TempFile::TempFile(const std::filesystem::path& folder) : TempFile(Create(folder)) {}

TempFile::TempFile(std::unique_ptr<CreatedFile> file)
    : file_(std::move(file)), path_(file_->path()) {}

TempFile::~TempFile() {
    if (!path_.empty()) {
        file_->remove();
    }
}

std::uint64_t TempFile::size() const {
    std::uint64_t bytes = 0;
    if (const int error = file_->size(&bytes)) {
        ThrowNotFound(error, file_->path());
    }
    return bytes;
}

std::unique_ptr<ReadableFile> TempFile::openReader() const {
    std::unique_ptr<ReadableFile> reader;
    if (const int error = file_->openReader(&reader)) {
        ThrowNotFound(error, file_->path());
    }
    return reader;
}

std::unique_ptr<WritableFile> TempFile::openWriter() const {
    std::unique_ptr<WritableFile> writer;
    if (const int error = file_->openWriter(&writer)) {
        throw FileCreateException(std::make_unique<ErrnoErrorDetail>(error));
    }
    return writer;
}
