#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/CreatedFile.h"
#include "platform/PosixFileDescriptor.h"

// The POSIX CreatedFile: the descriptor the file was created with (O_EXCL, never following a
// link) and a descriptor of the folder it was created in.
class PosixCreatedFile : public CreatedFile {
public:
    // Creates a new, empty file "<prefix>XXXXXX.tmp", readable and writable by the owner only,
    // in `folder`, whose path is `folderPath`.
    static int create(PosixFileDescriptor folder, const std::filesystem::path& folderPath,
                      const std::string& prefix, std::unique_ptr<CreatedFile>* file);

    const std::filesystem::path& path() const override { return path_; }
    int openWriter(std::unique_ptr<WritableFile>* file) override;
    int openReader(std::unique_ptr<ReadableFile>* file) override;
    int size(std::uint64_t* bytes) override;
    int remove() override;

    int descriptor() const { return file_.get(); }
    int folder() const { return folder_.get(); }
    const std::string& name() const { return name_; }
    // True when `name` in `folder` names this file itself (a link to it does not count).
    bool isNamedBy(int folder, const std::string& name) const;
    // The same for the name the file was created under.
    bool keepsItsName() const { return isNamedBy(folder_.get(), name_); }

private:
    PosixCreatedFile(PosixFileDescriptor file, PosixFileDescriptor folder, std::string name,
                     std::filesystem::path path);

    PosixFileDescriptor file_;
    PosixFileDescriptor folder_;
    std::string name_;
    std::filesystem::path path_;
};
