#include "streams/TempFile.h"

#include <memory>
#include <system_error>

#include "errors/DualErrorDetail.h"
#include "errors/ErrnoErrorDetail.h"
#include "errors/FileNotFoundException.h"
#include "errors/HRESULTErrorDetail.h"
#include "errors/StringErrorDetail.h"
#include "errors/TempFileCreationException.h"
#include "platform/Env.h"

namespace {
constexpr const char* kPrefix = "kvf";
}  // namespace

TempFile::TempFile() : TempFile(Env::Default().tempFolder()) {}

TempFile::TempFile(const std::filesystem::path& folder) {
    if (const int error = Env::Default().createUniqueFile(folder, kPrefix, &path_)) {
        path_.clear();
        throw TempFileCreationException(
            std::make_unique<HRESULTErrorDetail>(HRESULTErrorDetail::fromErrorNumber(error), ""));
    }
}

TempFile::~TempFile() {
    if (!path_.empty()) {
        Env::Default().deleteFile(path_);
    }
}

std::uint64_t TempFile::size() const {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path_, error);
    if (error) {
        throw FileNotFoundException(std::make_unique<DualErrorDetail>(
            std::make_unique<ErrnoErrorDetail>(error.value()),
            std::make_unique<StringErrorDetail>(path_.u8string())));
    }
    return size;
}
