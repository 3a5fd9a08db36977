#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/CreatedFile.h"
#include "platform/WindowsSupport.h"

// The Windows CreatedFile: the handle the file was created with (CREATE_NEW). While it is open
// nobody else can rename or delete the file, and its access control list lets only the caller
// at it (where the file system keeps one), as a new file on POSIX is the owner's alone.
class WindowsCreatedFile : public CreatedFile {
public:
    // Creates a new, empty file "<prefix><8 hex digits>.tmp" in `folder`.
    static int create(const std::filesystem::path& folder, const std::string& prefix,
                      std::unique_ptr<CreatedFile>* file);

    const std::filesystem::path& path() const override { return path_; }
    int openWriter(std::unique_ptr<WritableFile>* file) override;
    int openReader(std::unique_ptr<ReadableFile>* file) override;
    int size(std::uint64_t* bytes) override;
    int remove() override;

    HANDLE handle() const { return handle_.get(); }
    // True when the file's path names this very file.
    bool keepsItsName() const;
    // Closes the handle, for a call that must open the file by its name with nothing else
    // holding it; what identifies the file is kept for keepsItsName().
    void close() { handle_.reset(); }
    const winsupport::FileState& identity() const { return identity_; }

private:
    WindowsCreatedFile(winsupport::Handle handle, std::filesystem::path path,
                       const winsupport::FileState& identity);

    winsupport::Handle handle_;
    std::filesystem::path path_;
    winsupport::FileState identity_;
};
