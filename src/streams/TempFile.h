#pragma once

#include <cstdint>
#include <filesystem>

// A new, empty, uniquely named file ("kvf" prefix) that is deleted with this object.
// The name is chosen and the file created in one atomic step, so concurrent processes never
// share one.
class TempFile {
public:
    // In the user's temporary folder. Throws TempFileCreationException.
    TempFile();
    // In the given folder. Throws TempFileCreationException with an HRESULTErrorDetail that
    // wraps the system's error number (a missing or read-only folder, for instance).
    explicit TempFile(const std::filesystem::path& folder);
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    // Deletes the file unless release() was called; a failed deletion is ignored.
    virtual ~TempFile();

    const std::filesystem::path& path() const { return path_; }

    // The file's current length from the file system. Throws FileNotFoundException with a
    // DualErrorDetail (ErrnoErrorDetail, path) when the file cannot be examined.
    std::uint64_t size() const;

    // Gives up ownership: the file is no longer deleted by this object (it was moved away).
    void release() { path_.clear(); }

private:
    std::filesystem::path path_;
};
