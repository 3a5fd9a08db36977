#include "platform/PosixCreatedFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/PosixFileIO.h"
#include "platform/PosixReadableFile.h"
#include "platform/PosixWritableFile.h"

PosixCreatedFile::PosixCreatedFile(PosixFileDescriptor file, PosixFileDescriptor folder,
                                   std::string name, std::filesystem::path path)
    : file_(std::move(file)),
      folder_(std::move(folder)),
      name_(std::move(name)),
      path_(std::move(path)) {}

int PosixCreatedFile::create(PosixFileDescriptor folder, const std::filesystem::path& folderPath,
                             const std::string& prefix, std::unique_ptr<CreatedFile>* file) {
    PosixFileDescriptor fd;
    std::string name;
    if (const int error = posixio::createUnique(folder.get(), prefix, &fd, &name)) {
        return error;
    }
    file->reset(new PosixCreatedFile(std::move(fd), std::move(folder), name, folderPath / name));
    return 0;
}

int PosixCreatedFile::openWriter(std::unique_ptr<WritableFile>* file) {
    PosixFileDescriptor fd(::fcntl(file_.get(), F_DUPFD_CLOEXEC, 0));
    if (!fd.valid()) {
        return errno;
    }
    *file = std::make_unique<PosixWritableFile>(fd.release());
    return 0;
}

int PosixCreatedFile::openReader(std::unique_ptr<ReadableFile>* file) {
    PosixFileDescriptor fd(::fcntl(file_.get(), F_DUPFD_CLOEXEC, 0));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return errno;
    }
    *file =
        std::make_unique<PosixReadableFile>(fd.release(), static_cast<std::uint64_t>(st.st_size));
    return 0;
}

int PosixCreatedFile::size(std::uint64_t* bytes) {
    struct stat st;
    if (::fstat(file_.get(), &st) != 0) {
        return errno;
    }
    *bytes = static_cast<std::uint64_t>(st.st_size);
    return 0;
}

int PosixCreatedFile::remove() {
    if (!keepsItsName()) {
        return kNameTaken;
    }
    return ::unlinkat(folder_.get(), name_.c_str(), 0) == 0 ? 0 : errno;
}

bool PosixCreatedFile::isNamedBy(int folder, const std::string& name) const {
    return posixio::names(folder, name, file_.get());
}
