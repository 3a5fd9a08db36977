#include "platform/WindowsPinnedFile.h"

#include <windows.h>

#include <string>

#include "platform/WindowsFiles.h"
#include "platform/WindowsSupport.h"

namespace fs = std::filesystem;
using winsupport::FileState;
using winsupport::Handle;
using winsupport::LastError;
using winsupport::Win32Path;

namespace {

constexpr const char* kStagePrefix = "kvf";
// What the repaired file takes over of the original's attributes; "read-only" is refused
// before, and the others describe the file's storage, not its user's wishes.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Where the file system can't give a file a second name.
bool NoLinkError(int error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SAME_DEVICE ||
           error == ERROR_NOT_SUPPORTED || error == ERROR_TOO_MANY_LINKS;
}

class WindowsPinnedFile : public PinnedFile {
public:
    explicit WindowsPinnedFile(const fs::path& path) : realPath_(path) { error_ = pin(path); }

    const fs::path& realPath() const override { return realPath_; }

    int openReader(std::unique_ptr<ReadableFile>* file) override {
        if (error_ != 0) {
            return error_;
        }
        HANDLE copy = INVALID_HANDLE_VALUE;
        if (!::DuplicateHandle(::GetCurrentProcess(), file_.get(), ::GetCurrentProcess(), &copy, 0,
                               FALSE, DUPLICATE_SAME_ACCESS)) {
            return LastError();
        }
        *file = std::make_unique<WindowsReadableFile>(Handle(copy), pinned_.size);
        return 0;
    }

    int checkUnchanged() override {
        if (error_ != 0) {
            return error_;
        }
        FileState now;
        if (!file_.valid() || !isNamedBy(realPath_) || winsupport::QueryState(file_.get(), &now)) {
            return kChanged;
        }
        return sameContent(now) ? 0 : kChanged;
    }

    int checkWritable() override {
        if (error_ != 0) {
            return error_;
        }
        return (pinned_.attributes & FILE_ATTRIBUTE_READONLY) != 0 ? ERROR_ACCESS_DENIED : 0;
    }

    unsigned long nameCount() override {
        FileState now;
        return error_ == 0 && file_.valid() && winsupport::QueryState(file_.get(), &now) == 0
                   ? now.links
                   : 1;
    }

    bool isNamedBy(const fs::path& path) override {
        Handle named;
        FileState state;
        return error_ == 0 && winsupport::OpenForAttributes(path, &named) == 0 &&
               winsupport::QueryState(named.get(), &state) == 0 && state.sameFile(pinned_);
    }

    int addName(const fs::path& path) override {
        if (error_ != 0) {
            return error_;
        }
        if (!::CreateHardLinkW(Win32Path(path).c_str(), Win32Path(realPath_).c_str(), nullptr)) {
            const int error = LastError();
            return NoLinkError(error) ? kNoLink : error;
        }
        // The link was made by name: it must be this very file, not one put in its place.
        if (!isNamedBy(path)) {
            ::DeleteFileW(Win32Path(path).c_str());
            return kChanged;
        }
        return refresh();
    }

    int copyTo(const fs::path& path, bool replace) override {
        if (error_ != 0) {
            return error_;
        }
        Handle reserved;
        fs::path staged;
        if (const int error =
                winsupport::CreateUnique(path.parent_path(), kStagePrefix, &reserved, &staged)) {
            return error;
        }
        reserved.reset();
        // The copy keeps the attributes, the modification time and the alternate data streams.
        int error = ::CopyFileW(Win32Path(realPath_).c_str(), Win32Path(staged).c_str(), FALSE)
                        ? 0
                        : LastError();
        if (error == 0 && !isNamedBy(realPath_)) {
            error = kChanged;  // copied by name from a file put in this one's place
        }
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        if (error == 0 &&
            !::MoveFileExW(Win32Path(staged).c_str(), Win32Path(path).c_str(), flags)) {
            error = LastError();
        }
        if (error != 0) {
            ::SetFileAttributesW(Win32Path(staged).c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(Win32Path(staged).c_str());
            return error;
        }
        return 0;
    }

    int prepareReplacement(const fs::path& replacement) override {
        if (error_ != 0) {
            return error_;
        }
        // The replacement must be the plain file this run wrote, flushed to the disk. Its
        // attributes, access control list and streams come from this file when it takes the
        // name (renameOver).
        Handle file(::CreateFileW(Win32Path(replacement).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        FileState state;
        if (!file.valid()) {
            return LastError();
        }
        if (const int error = winsupport::QueryState(file.get(), &state)) {
            return error;
        }
        if ((state.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || state.links != 1) {
            return ERROR_ACCESS_DENIED;  // not the file this run wrote
        }
        // The replacement carries these over too; given here as well, they hold on every
        // implementation of it.
        FILE_BASIC_INFO basic{};
        basic.CreationTime.QuadPart = pinned_.creationTime;
        basic.FileAttributes = pinned_.attributes & kKeptAttributes;  // none: left as it is
        if (!::SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic)) {
            return LastError();
        }
        if (!::FlushFileBuffers(file.get())) {
            return LastError();
        }
        return file.reset();
    }

    int renameOver(const fs::path& replacement) override {
        if (error_ != 0) {
            return error_;
        }
        // The original always goes to a name of its own first, so that no failure can leave
        // the file's name empty: without a backup name, a failed replacement may have deleted
        // the original already.
        Handle reserved;
        fs::path aside;
        if (const int error = winsupport::CreateUnique(realPath_.parent_path(), kStagePrefix,
                                                       &reserved, &aside)) {
            return error;
        }
        reserved.reset();
        const std::wstring name = Win32Path(realPath_);
        const std::wstring repaired = Win32Path(replacement);
        const std::wstring original = Win32Path(aside);
        if (::ReplaceFileW(name.c_str(), repaired.c_str(), original.c_str(), 0, nullptr, nullptr)) {
            ::DeleteFileW(original.c_str());  // the original lives on under its backup name
            return 0;
        }
        const int error = LastError();
        if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            // The original went aside and the repaired file could not take the name: the name
            // is empty. Either one is put back under it.
            if (::MoveFileExW(repaired.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH)) {
                ::DeleteFileW(original.c_str());
                return 0;
            }
            ::MoveFileExW(original.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH);
            return error;
        }
        ::DeleteFileW(original.c_str());  // the reserved name; the original kept its own
        return error;
    }

    int overwriteWith(const fs::path& source, bool* touched) override {
        *touched = false;
        if (error_ != 0) {
            return error_;
        }
        // This run's own handle refuses writers, itself included: it gives way to one that
        // refuses everybody else for as long as the overwrite takes, so no other program reads
        // half a file or writes into it meanwhile.
        file_.reset();
        Handle out(::CreateFileW(Win32Path(realPath_).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.valid()) {
            return LastError();
        }
        FileState now;
        if (winsupport::QueryState(out.get(), &now) != 0 || !now.sameFile(pinned_) ||
            !sameContent(now)) {
            return kChanged;
        }
        Handle in(::CreateFileW(Win32Path(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        FileState sourceState;
        if (!in.valid()) {
            return LastError();
        }
        if (const int error = winsupport::QueryState(in.get(), &sourceState)) {
            return error;
        }
        // Space for the whole content is taken before a byte changes, where the file system
        // can reserve it, so a full disk refuses the overwrite instead of leaving half of it.
        FILE_ALLOCATION_INFO allocation{};
        allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(sourceState.size);
        if (!::SetFileInformationByHandle(out.get(), FileAllocationInfo, &allocation,
                                          sizeof allocation)) {
            const int error = LastError();
            if (error != ERROR_CALL_NOT_IMPLEMENTED && error != ERROR_INVALID_PARAMETER &&
                error != ERROR_INVALID_FUNCTION) {
                return error;
            }
        }
        *touched = true;
        int error = winsupport::CopyBytes(in.get(), 0, out.get(), 0, sourceState.size);
        if (error == 0) {
            error = winsupport::SetLength(out.get(), sourceState.size);
        }
        if (error == 0 && !::FlushFileBuffers(out.get())) {
            error = LastError();
        }
        const int closeError = out.reset();
        return error != 0 ? error : closeError;
    }

private:
    int pin(const fs::path& path) {
        // Other programs may read the file, and rename or delete it (which the replacement
        // needs too), but none may write it while it is held.
        file_ = Handle(::CreateFileW(Win32Path(path).c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file_.valid()) {
            return LastError();
        }
        if (const int error = winsupport::QueryState(file_.get(), &pinned_)) {
            return error;
        }
        if ((pinned_.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return ERROR_ACCESS_DENIED;
        }
        std::wstring real(MAX_PATH, L'\0');
        DWORD size = 0;
        while ((size = ::GetFinalPathNameByHandleW(
                    file_.get(), real.data(), static_cast<DWORD>(real.size()),
                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) >= real.size()) {
            real.resize(size + 1);
        }
        if (size == 0) {
            real = Win32Path(path);  // a file system that can't tell: the path as completed
        } else {
            real.resize(size);
        }
        realPath_ = winsupport::UserPath(real);
        return isNamedBy(realPath_) ? 0 : kChanged;
    }

    // Takes the file's state again after a change this object made (a name added changes the
    // change time), so that checkUnchanged only sees the changes of others.
    int refresh() {
        FileState now;
        if (const int error = winsupport::QueryState(file_.get(), &now)) {
            return error;
        }
        pinned_.changeTime = now.changeTime;
        pinned_.links = now.links;
        return 0;
    }

    bool sameContent(const FileState& now) const {
        return now.size == pinned_.size && now.lastWriteTime == pinned_.lastWriteTime &&
               now.changeTime == pinned_.changeTime;
    }

    int error_ = 0;
    fs::path realPath_;
    Handle file_;
    FileState pinned_;
};

}  // namespace

std::unique_ptr<PinnedFile> PinWindowsFile(const fs::path& path) {
    return std::make_unique<WindowsPinnedFile>(path);
}
