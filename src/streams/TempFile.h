#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/CreatedFile.h"
#include "platform/ReadableFile.h"
#include "platform/WritableFile.h"

// A new, empty, uniquely named file ("kvf" prefix) that is deleted with this object. The name
// is chosen and the file created in one atomic step, so concurrent processes never share one,
// and the file is held open from then on: it is written and read back only through that handle,
// never reopened by its name, which someone else may have swapped for another file.
class TempFile {
public:
    static constexpr const char* kPrefix = "kvf";

    // In the user's temporary folder. Throws TempFileCreationException.
    TempFile();
    // In the given folder. Throws TempFileCreationException with an HRESULTErrorDetail that
    // wraps the system's error number (a missing or read-only folder, for instance).
    explicit TempFile(const std::filesystem::path& folder);
    // A file created elsewhere (beside the file being repaired, say).
    explicit TempFile(std::unique_ptr<CreatedFile> file);
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    // Deletes the file unless release() was called, as long as its name still names it; a failed
    // deletion is ignored.
    virtual ~TempFile();

    // The name it was created under; empty after release().
    const std::filesystem::path& path() const { return path_; }

    // The file's current length. Throws FileNotFoundException with a DualErrorDetail
    // (ErrnoErrorDetail, path) when the file cannot be examined.
    std::uint64_t size() const;

    // A reader and a writer of the file, each on a handle of its own. Throw
    // FileNotFoundException (as size()) and FileCreateException with an ErrnoErrorDetail.
    std::unique_ptr<ReadableFile> openReader() const;
    std::unique_ptr<WritableFile> openWriter() const;

    CreatedFile& file() { return *file_; }

    // Gives up ownership: the file is no longer deleted by this object (it was moved away).
    void release() { path_.clear(); }

private:
    std::unique_ptr<CreatedFile> file_;
    std::filesystem::path path_;
};
