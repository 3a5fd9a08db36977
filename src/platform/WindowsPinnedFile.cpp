#include "platform/WindowsPinnedFile.h"

#include <windows.h>

#include <string>

#include "platform/WindowsCopyRecord.h"
#include "platform/WindowsCreatedFile.h"
#include "platform/WindowsFiles.h"
#include "platform/WindowsSecurity.h"
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
// While the file is held, other programs may read it, and rename or delete it (the replacement
// needs that too), but none may write it.
constexpr DWORD kHeldShare = FILE_SHARE_READ | FILE_SHARE_DELETE;

// Where the file system can't give a file a second name.
bool NoLinkError(int error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SAME_DEVICE ||
           error == ERROR_NOT_SUPPORTED || error == ERROR_TOO_MANY_LINKS;
}

Handle OpenFile(const fs::path& path, DWORD access, DWORD share) {
    return Handle(::CreateFileW(Win32Path(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The text of a record stream (a copy's, or the file's); empty when there is none.
std::string ReadRecord(const std::wstring& stream) {
    const Handle file =
        OpenFile(stream, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    std::string text(4096, '\0');
    std::size_t got = 0;
    if (!file.valid() || winsupport::ReadAt(file.get(), 0, text.data(), text.size(), &got)) {
        return std::string();
    }
    text.resize(got);
    return text;
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
        return stage(path, replace, [this](HANDLE out) { return fill(out); });
    }

    int createBeside(const std::string& prefix, std::unique_ptr<CreatedFile>* file) override {
        if (error_ != 0) {
            return error_;
        }
        return WindowsCreatedFile::create(realPath_.parent_path(), prefix, file);
    }

    int prepareReplacement(CreatedFile& replacement) override {
        if (error_ != 0) {
            return error_;
        }
        auto* created = dynamic_cast<WindowsCreatedFile*>(&replacement);
        if (created == nullptr || created->path().parent_path() != realPath_.parent_path()) {
            return ERROR_NOT_SAME_DEVICE;
        }
        FileState state;
        if (const int error = winsupport::QueryState(created->handle(), &state)) {
            return error;
        }
        if (state.links != 1) {
            return ERROR_ACCESS_DENIED;  // someone gave it a further name
        }
        // The replacement carries these over too; given here as well, they hold on every
        // implementation of it.
        FILE_BASIC_INFO basic{};
        basic.CreationTime.QuadPart = pinned_.creationTime;
        basic.FileAttributes = pinned_.attributes & kKeptAttributes;  // none: left as it is
        if (!::SetFileInformationByHandle(created->handle(), FileBasicInfo, &basic, sizeof basic) ||
            !::FlushFileBuffers(created->handle())) {
            return LastError();
        }
        return 0;
    }

    int renameOver(CreatedFile& replacement) override {
        if (error_ != 0) {
            return error_;
        }
        auto* created = dynamic_cast<WindowsCreatedFile*>(&replacement);
        if (created == nullptr || created->path().parent_path() != realPath_.parent_path()) {
            return ERROR_NOT_SAME_DEVICE;
        }
        // The replacement opens both files by name, and the repaired one with nothing else
        // holding it: its handle is closed, its name checked before and after.
        if (!created->keepsItsName()) {
            return CreatedFile::kNameTaken;
        }
        created->close();
        // The original always goes to a name of its own first, so that no failure can leave
        // the file's name empty: without a backup name, a failed replacement may have deleted
        // the original already.
        std::unique_ptr<CreatedFile> reserved;
        if (const int error = createBeside(kStagePrefix, &reserved)) {
            return error;
        }
        const std::wstring aside = Win32Path(reserved->path());
        static_cast<WindowsCreatedFile&>(*reserved).close();
        const std::wstring name = Win32Path(realPath_);
        const std::wstring repaired = Win32Path(created->path());
        if (!::ReplaceFileW(name.c_str(), repaired.c_str(), aside.c_str(), 0, nullptr, nullptr)) {
            const int error = LastError();
            if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
                // The original went aside and the repaired file could not take the name: the
                // name is empty. Either one is put back under it.
                if (::MoveFileExW(repaired.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH)) {
                    ::DeleteFileW(aside.c_str());
                    return 0;
                }
                ::MoveFileExW(aside.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH);
                return error;
            }
            ::DeleteFileW(aside.c_str());  // the reserved name; the original kept its own
            // Another program holds the file open with renames refused.
            return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? kInUse
                                                                                     : error;
        }
        // Another file put under the repaired one's name in the moment between the check and
        // the replacement took the file's place: the original goes back.
        Handle named;
        FileState now;
        if (winsupport::OpenForAttributes(realPath_, &named) != 0 ||
            winsupport::QueryState(named.get(), &now) != 0 || !now.sameFile(created->identity())) {
            named.reset();
            ::MoveFileExW(aside.c_str(), name.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            return CreatedFile::kNameTaken;
        }
        ::DeleteFileW(aside.c_str());  // the original lives on under its backup name, if any
        return 0;
    }

    int overwriteWith(CreatedFile& source, bool* touched) override {
        *touched = false;
        if (error_ != 0) {
            return error_;
        }
        auto* created = dynamic_cast<WindowsCreatedFile*>(&source);
        if (created == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        if (!writable_) {
            if (const int error = holdExclusively()) {
                return error;
            }
            if (!writable_) {
                return ERROR_ACCESS_DENIED;
            }
        }
        FileState sourceState;
        if (const int error = winsupport::QueryState(created->handle(), &sourceState)) {
            return error;
        }
        const HANDLE out = file_.get();
        // Space for the whole content is taken before a byte changes, where the file system
        // can reserve it, so a full disk refuses the overwrite instead of leaving half of it.
        FILE_ALLOCATION_INFO allocation{};
        allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(sourceState.size);
        if (!::SetFileInformationByHandle(out, FileAllocationInfo, &allocation,
                                          sizeof allocation)) {
            const int error = LastError();
            if (error != ERROR_CALL_NOT_IMPLEMENTED && error != ERROR_INVALID_PARAMETER &&
                error != ERROR_INVALID_FUNCTION) {
                return error;
            }
        }
        *touched = true;
        int error = winsupport::CopyBytes(created->handle(), 0, out, 0, sourceState.size);
        if (error == 0) {
            error = winsupport::SetLength(out, sourceState.size);
        }
        if (error == 0 && !::FlushFileBuffers(out)) {
            error = LastError();
        }
        return error;
    }

    int holdExclusively() override {
        if (error_ != 0) {
            return error_;
        }
        if (held_) {
            return 0;
        }
        // This run's own handle shares the file with readers only, and so would refuse its own
        // writer: it gives way to one that may write. A program that has the file open for
        // writing, or open with writers refused, makes the file in use.
        file_.reset();
        bool writable = true;
        Handle handle = OpenFile(realPath_, GENERIC_READ | GENERIC_WRITE, kHeldShare);
        if (!handle.valid() && ::GetLastError() == ERROR_ACCESS_DENIED) {
            writable = false;
            handle = OpenFile(realPath_, GENERIC_READ, kHeldShare);
        }
        if (!handle.valid()) {
            const int error = LastError();
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
                return kInUse;
            }
            return error == ERROR_FILE_NOT_FOUND ? kChanged : error;
        }
        FileState now;
        if (winsupport::QueryState(handle.get(), &now) != 0 || !now.sameFile(pinned_)) {
            return kChanged;
        }
        file_ = std::move(handle);
        writable_ = writable;
        held_ = true;
        return 0;
    }

    // No other program could write the file while it was held: it refused writers throughout.
    bool openedMeanwhile() override { return false; }

    void letGo() override {
        if (held_) {
            file_.reset();
            held_ = false;
            writable_ = false;
        }
    }

    int keepCopy(const fs::path& path, CopyKind kind, const std::string& note) override {
        if (error_ != 0) {
            return error_;
        }
        const int error = stage(path, false, [&](HANDLE out) {
            return kind == CopyKind::Backup ? fill(out) : fillPrivately(out);
        });
        if (error == 0) {
            // Unmarked where the file system keeps no alternate data streams. Written under the
            // copy's own name, so that a system that keeps a stream as a file of its own (Wine)
            // keeps it beside the copy, where the next run looks.
            writeRecord(Win32Path(path) + WindowsCopyRecord::kStream,
                        WindowsCopyRecord::Of(pinned_, kind, note).text());
            std::error_code ignored;
            writeRecord(Win32Path(realPath_) + WindowsCopyRecord::kFileStream,
                        fs::absolute(path, ignored).u8string());
            keepTimes();
        }
        return error;
    }

    bool findCopy(const std::vector<fs::path>& candidates, MarkedCopy* copy) override {
        if (error_ != 0) {
            return false;
        }
        const std::string recorded =
            ReadRecord(Win32Path(realPath_) + WindowsCopyRecord::kFileStream);
        if (!recorded.empty() && readCopy(fs::u8path(recorded), copy)) {
            return true;
        }
        for (const fs::path& candidate : candidates) {
            if (readCopy(candidate, copy)) {
                return true;
            }
        }
        return false;
    }

    void forgetCopy(const MarkedCopy& copy) override {
        MarkedCopy again;
        if (error_ != 0 || !readCopy(copy.path, &again)) {
            return;
        }
        if (::DeleteFileW((Win32Path(realPath_) + WindowsCopyRecord::kFileStream).c_str())) {
            keepTimes();
        }
        const std::wstring path = Win32Path(copy.path);
        ::DeleteFileW((path + WindowsCopyRecord::kStream).c_str());
        if (copy.kind == CopyKind::Kept) {
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(path.c_str());
        }
    }

private:
    int pin(const fs::path& path) {
        file_ = OpenFile(path, GENERIC_READ, kHeldShare);
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

    // Makes a new file beside `path`, has `fill` write it through its handle, and gives it the
    // name `path` (replacing a file of that name only when `replace`).
    template <typename Fill>
    int stage(const fs::path& path, bool replace, const Fill& fill) {
        if (error_ != 0) {
            return error_;
        }
        if (!replace && ::GetFileAttributesW(Win32Path(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
            return ERROR_FILE_EXISTS;
        }
        std::unique_ptr<CreatedFile> staged;
        if (const int error =
                WindowsCreatedFile::create(path.parent_path(), kStagePrefix, &staged)) {
            return error;
        }
        auto& created = static_cast<WindowsCreatedFile&>(*staged);
        int error = fill(created.handle());
        if (error == 0 && !::FlushFileBuffers(created.handle())) {
            error = LastError();
        }
        const std::wstring from = Win32Path(created.path());
        const std::wstring to = Win32Path(path);
        created.close();
        // A name of the held file can't be replaced while the file is open (ERROR_ACCESS_DENIED),
        // nor deleted at once: it is moved to a name of its own first, deleted once the file is
        // closed, and put back should the copy not take its place.
        std::unique_ptr<CreatedFile> aside;
        if (error == 0 && replace && isNamedBy(path)) {
            error = WindowsCreatedFile::create(path.parent_path(), kStagePrefix, &aside);
            if (error == 0) {
                static_cast<WindowsCreatedFile&>(*aside).close();
                if (!::MoveFileExW(to.c_str(), Win32Path(aside->path()).c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                    error = LastError();
                    ::DeleteFileW(Win32Path(aside->path()).c_str());
                    aside.reset();
                }
            }
        }
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        if (error == 0 && !::MoveFileExW(from.c_str(), to.c_str(), flags)) {
            error = LastError();
        }
        if (aside) {
            const std::wstring asidePath = Win32Path(aside->path());
            if (error != 0) {
                ::MoveFileExW(asidePath.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
            } else {
                ::DeleteFileW(asidePath.c_str());
            }
            const int refreshed = refresh();  // the moves changed the file's change time
            error = error != 0 ? error : refreshed;
        }
        if (error != 0) {
            ::SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(from.c_str());
        }
        return error;
    }

    // Writes the held file's bytes into `out`, a new file, and gives it the file's access
    // control list (where the system allows), attributes and times.
    int fill(HANDLE out) {
        if (const int error = winsupport::CopyBytes(file_.get(), 0, out, 0, pinned_.size)) {
            return error;
        }
        (void)winsecurity::CopyAccessControl(file_.get(), out);
        return setTimes(out, pinned_.attributes);
    }

    // As fill, but the copy is readable by the caller only.
    int fillPrivately(HANDLE out) {
        if (const int error = winsupport::CopyBytes(file_.get(), 0, out, 0, pinned_.size)) {
            return error;
        }
        if (const int error = winsecurity::MakePrivate(out)) {
            return error;
        }
        return setTimes(out, FILE_ATTRIBUTE_NORMAL);
    }

    int setTimes(HANDLE out, DWORD attributes) {
        FILE_BASIC_INFO basic{};
        basic.CreationTime.QuadPart = pinned_.creationTime;
        basic.LastAccessTime.QuadPart = pinned_.lastAccessTime;
        basic.LastWriteTime.QuadPart = pinned_.lastWriteTime;
        basic.FileAttributes = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
        return ::SetFileInformationByHandle(out, FileBasicInfo, &basic, sizeof basic) ? 0
                                                                                      : LastError();
    }

    static void writeRecord(const std::wstring& stream, const std::string& record) {
        const Handle file(::CreateFileW(stream.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.valid()) {
            winsupport::WriteAt(file.get(), 0, record.data(), record.size());
        }
    }

    // A stream of the file written or deleted counts as a write of the file: its times are put
    // back, so that only the change time tells, as an extended attribute does on POSIX.
    void keepTimes() {
        const Handle attributes(
            ::CreateFileW(Win32Path(realPath_).c_str(), FILE_WRITE_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        FILE_BASIC_INFO basic{};
        basic.LastAccessTime.QuadPart = pinned_.lastAccessTime;
        basic.LastWriteTime.QuadPart = pinned_.lastWriteTime;
        if (attributes.valid()) {
            ::SetFileInformationByHandle(attributes.get(), FileBasicInfo, &basic, sizeof basic);
        }
        (void)refresh();
    }

    // True, with `copy` filled in, when `path` is a marked copy of this very file, owned by the
    // caller or by the file's owner.
    bool readCopy(const fs::path& path, MarkedCopy* copy) {
        WindowsCopyRecord record;
        if (!WindowsCopyRecord::Parse(ReadRecord(Win32Path(path) + WindowsCopyRecord::kStream),
                                      &record) ||
            !record.sameFile(pinned_)) {
            return false;
        }
        const Handle candidate =
            OpenFile(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        if (!candidate.valid() || !winsecurity::OwnedByCallerOr(candidate.get(), file_.get())) {
            return false;
        }
        FileState now;
        copy->path = path;
        copy->kind = record.kind;
        copy->note = record.note;
        copy->fileUnchanged = winsupport::QueryState(file_.get(), &now) == 0 &&
                              now.size == record.size && now.lastWriteTime == record.lastWriteTime;
        return true;
    }

    int error_ = 0;
    fs::path realPath_;
    Handle file_;
    FileState pinned_;
    bool held_ = false;
    bool writable_ = false;
};

}  // namespace

std::unique_ptr<PinnedFile> PinWindowsFile(const fs::path& path) {
    return std::make_unique<WindowsPinnedFile>(path);
}
