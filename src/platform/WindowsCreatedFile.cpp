#include "platform/WindowsCreatedFile.h"

#include "platform/WindowsFiles.h"
#include "platform/WindowsSecurity.h"

using winsupport::Handle;
using winsupport::LastError;

namespace {

// A second handle of the same file, for a reader or writer that may outlive this object.
int Duplicate(HANDLE handle, Handle* copy) {
    HANDLE duplicate = INVALID_HANDLE_VALUE;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &duplicate, 0,
                           FALSE, DUPLICATE_SAME_ACCESS)) {
        return LastError();
    }
    *copy = Handle(duplicate);
    return 0;
}

}  // namespace

WindowsCreatedFile::WindowsCreatedFile(Handle handle, std::filesystem::path path,
                                       const winsupport::FileState& identity)
    : handle_(std::move(handle)), path_(std::move(path)), identity_(identity) {}

int WindowsCreatedFile::create(const std::filesystem::path& folder, const std::string& prefix,
                               std::unique_ptr<CreatedFile>* file) {
    Handle handle;
    std::filesystem::path path;
    if (const int error = winsupport::CreateUnique(folder, prefix, &handle, &path)) {
        return error;
    }
    winsupport::FileState identity;
    if (const int error = winsupport::QueryState(handle.get(), &identity)) {
        return error;
    }
    (void)winsecurity::MakePrivate(handle.get());  // a file system without ACLs keeps none
    file->reset(new WindowsCreatedFile(std::move(handle), path, identity));
    return 0;
}

int WindowsCreatedFile::openWriter(std::unique_ptr<WritableFile>* file) {
    Handle copy;
    if (const int error = Duplicate(handle_.get(), &copy)) {
        return error;
    }
    *file = std::make_unique<WindowsWritableFile>(std::move(copy));
    return 0;
}

int WindowsCreatedFile::openReader(std::unique_ptr<ReadableFile>* file) {
    Handle copy;
    std::uint64_t bytes = 0;
    if (const int error = Duplicate(handle_.get(), &copy)) {
        return error;
    }
    if (const int error = size(&bytes)) {
        return error;
    }
    *file = std::make_unique<WindowsReadableFile>(std::move(copy), bytes);
    return 0;
}

int WindowsCreatedFile::size(std::uint64_t* bytes) {
    winsupport::FileState state;
    if (const int error = winsupport::QueryState(handle_.get(), &state)) {
        return error;
    }
    *bytes = state.size;
    return 0;
}

int WindowsCreatedFile::remove() {
    // The name is opened anew for deleting, and the file behind it deleted through that handle
    // only when it is this one.
    handle_.reset();
    const Handle named(::CreateFileW(
        winsupport::Win32Path(path_).c_str(), DELETE | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    winsupport::FileState state;
    if (!named.valid()) {
        return LastError();
    }
    if (winsupport::QueryState(named.get(), &state) != 0 || !state.sameFile(identity_)) {
        return kNameTaken;
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(named.get(), FileDispositionInfo, &disposition,
                                        sizeof disposition)
               ? 0
               : LastError();
}

bool WindowsCreatedFile::keepsItsName() const {
    Handle named;
    winsupport::FileState state;
    return winsupport::OpenForAttributes(path_, &named) == 0 &&
           winsupport::QueryState(named.get(), &state) == 0 && state.sameFile(identity_);
}
