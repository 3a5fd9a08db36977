#include <windows.h>
#include <winternl.h>

#include <vector>

#include "platform/FolderDescriptor.h"
#include "platform/WindowsSupport.h"

using winsupport::Handle;
using winsupport::LastError;

namespace {

// Listing and opening below it; the folder is never written, renamed or deleted through it.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool IsLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Opens `name` relative to the folder `parent`, as openat does: the length of the path above
// it never matters. The name itself is not followed if it is a link, unless `follow`. 0 or an
// error.
int OpenRelative(HANDLE parent, const std::string& name, ACCESS_MASK access, ULONG options,
                 Handle* opened, bool follow = false) {
    std::wstring wide = winsupport::Widen(name);
    UNICODE_STRING object;
    object.Buffer = wide.data();
    object.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    object.MaximumLength = object.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &object, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK status;
    HANDLE handle = INVALID_HANDLE_VALUE;
    const NTSTATUS result = ::NtCreateFile(
        &handle, access, &attributes, &status, nullptr, 0, kShareAll, FILE_OPEN,
        options | (follow ? 0 : FILE_OPEN_REPARSE_POINT) | FILE_OPEN_FOR_BACKUP_INTENT, nullptr, 0);
    if (result < 0) {
        return static_cast<int>(::RtlNtStatusToDosError(result));
    }
    *opened = Handle(handle);
    return 0;
}

}  // namespace

void FolderDescriptor::close() {
    if (handle_ != -1) {
        ::CloseHandle(AsHandle(handle_));
        handle_ = -1;
    }
}

int FolderDescriptor::open(const std::string& path, FolderDescriptor* folder) {
    Handle handle(::CreateFileW(winsupport::Win32Path(std::filesystem::u8path(path)).c_str(),
                                kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.valid()) {
        return LastError();
    }
    winsupport::FileState state;
    if (const int error = winsupport::QueryState(handle.get(), &state)) {
        return error;
    }
    if ((state.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return ERROR_DIRECTORY;
    }
    *folder = FolderDescriptor(reinterpret_cast<std::intptr_t>(handle.release()));
    return 0;
}

int FolderDescriptor::openChild(const std::string& name, FolderDescriptor* child) const {
    Handle handle;
    if (const int error =
            OpenRelative(AsHandle(handle_), name, kFolderAccess,
                         FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, &handle)) {
        return error;
    }
    winsupport::FileState state;
    if (const int error = winsupport::QueryState(handle.get(), &state)) {
        return error;
    }
    if (IsLink(state.attributes)) {
        return ERROR_CANT_RESOLVE_FILENAME;  // a junction or symbolic link is not followed
    }
    *child = FolderDescriptor(reinterpret_cast<std::intptr_t>(handle.release()));
    return 0;
}

int FolderDescriptor::list(std::vector<Entry>* entries) const {
    // The listing comes in the file system's own order, a buffer at a time.
    std::vector<unsigned char> buffer(64 * 1024);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(AsHandle(handle_), kind, buffer.data(),
                                            static_cast<DWORD>(buffer.size()))) {
            const int error = LastError();
            return error == ERROR_NO_MORE_FILES ? 0 : error;
        }
        kind = FileIdBothDirectoryInfo;
        std::size_t at = 0;
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(&buffer[at]);
            const std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                // For a reparse point the entry's EaSize holds its tag.
                const bool link =
                    IsLink(info->FileAttributes) && (info->EaSize == IO_REPARSE_TAG_SYMLINK ||
                                                     info->EaSize == IO_REPARSE_TAG_MOUNT_POINT);
                const bool isFolder = (info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                      !IsLink(info->FileAttributes);
                entries->push_back({winsupport::Narrow(name), isFolder, link});
            }
            if (info->NextEntryOffset == 0) {
                break;
            }
            at += info->NextEntryOffset;
        }
    }
}

bool FolderDescriptor::holds(const std::string& name) const {
    Handle handle;
    const int error = OpenRelative(AsHandle(handle_), name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                   FILE_SYNCHRONOUS_IO_NONALERT, &handle);
    return error == 0 || error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

int FolderDescriptor::identify(const std::string& name, FileIdentity* identity) const {
    Handle handle;
    if (const int error = OpenRelative(AsHandle(handle_), name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                       FILE_SYNCHRONOUS_IO_NONALERT, &handle, true)) {
        return error;
    }
    winsupport::FileState state;
    if (const int error = winsupport::QueryState(handle.get(), &state)) {
        return error;
    }
    *identity = {state.volume, state.index};
    return 0;
}
