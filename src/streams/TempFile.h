#pragma once

#include <cstdint>
#include <filesystem>

// A new, empty, uniquely named file ("kvf" prefix) that is deleted with this object.
class TempFile {
public:
    // In the user's temporary folder. Throws TempFileCreationException.
    TempFile();
    // In the given folder. Throws TempFileCreationException.
    explicit TempFile(const std::filesystem::path& folder);
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
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
