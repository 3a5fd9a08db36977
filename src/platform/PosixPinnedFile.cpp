#include "platform/PosixPinnedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/PosixCopyRecord.h"
#include "platform/PosixCreatedFile.h"
#include "platform/PosixExclusiveHold.h"
#include "platform/PosixFileDescriptor.h"
#include "platform/PosixFileIO.h"
#include "platform/PosixReadableFile.h"

namespace fs = std::filesystem;

namespace {

bool sameTimes(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens for reading without updating the access time where the caller may ask for that.
int openForReading(const fs::path& path) {
    const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int fd = ::open(path.c_str(), flags | O_NOATIME);
    return fd >= 0 || errno != EPERM ? fd : ::open(path.c_str(), flags);
}

class PosixPinnedFile : public PinnedFile {
public:
    explicit PosixPinnedFile(const fs::path& path) : realPath_(path) { error_ = pin(path); }

    const fs::path& realPath() const override { return realPath_; }

    int openReader(std::unique_ptr<ReadableFile>* file) override {
        if (error_ != 0) {
            return error_;
        }
        PosixFileDescriptor fd(::fcntl(file_.get(), F_DUPFD_CLOEXEC, 0));
        if (!fd.valid()) {
            return errno;
        }
        // Once the file is held, its descriptor's exclusive lock stands for the reader's too.
        if (hold_ == nullptr && ::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
            return errno;
        }
        *file = std::make_unique<PosixReadableFile>(fd.release(),
                                                    static_cast<std::uint64_t>(pinned_.st_size));
        return 0;
    }

    int checkUnchanged() override {
        if (error_ != 0) {
            return error_;
        }
        struct stat named;
        struct stat now;
        if (::fstatat(folder_.get(), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::fstat(file_.get(), &now) != 0) {
            return kChanged;
        }
        const bool same =
            sameFile(named, pinned_) && sameFile(now, pinned_) && now.st_size == pinned_.st_size &&
            sameTimes(now.st_mtim, pinned_.st_mtim) && sameTimes(now.st_ctim, pinned_.st_ctim);
        return same ? 0 : kChanged;
    }

    int checkWritable() override {
        if (error_ != 0) {
            return error_;
        }
        if ((pinned_.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            return EACCES;
        }
        return ::faccessat(folder_.get(), name_.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
    }

    unsigned long nameCount() override {
        struct stat now;
        return error_ == 0 && ::fstat(file_.get(), &now) == 0 ? now.st_nlink : 1;
    }

    bool isNamedBy(const fs::path& path) override {
        struct stat st;
        return error_ == 0 &&
               ::fstatat(folderFor(path), leafFor(path).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
               sameFile(st, pinned_);
    }

    int addName(const fs::path& path) override {
        if (error_ != 0) {
            return error_;
        }
        // Through the descriptor the link is made to the opened file itself, never to whatever
        // the name may hold by now.
        const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
        int error = 0;
        if (::linkat(AT_FDCWD, self.c_str(), folderFor(path), leafFor(path).c_str(),
                     AT_SYMLINK_FOLLOW) != 0) {
            error = errno;
            if (error == ENOENT && !isNamedBy(realPath_)) {
                return kChanged;
            }
            if (error == ENOENT && ::linkat(folder_.get(), name_.c_str(), folderFor(path),
                                            leafFor(path).c_str(), 0) == 0) {
                error = 0;
            }
            if (error == EXDEV || error == EPERM || error == EOPNOTSUPP || error == EMLINK ||
                error == ENOSYS) {
                return kNoLink;
            }
            if (error != 0) {
                return error;
            }
        }
        if (!isNamedBy(path)) {
            ::unlinkat(folderFor(path), leafFor(path).c_str(), 0);
            return kChanged;
        }
        return refresh();
    }

    int copyTo(const fs::path& path, bool replace) override {
        return stage(path, replace, [this](int out) { return fill(out); });
    }

    int createBeside(const std::string& prefix, std::unique_ptr<CreatedFile>* file) override {
        if (error_ != 0) {
            return error_;
        }
        PosixFileDescriptor folder(::fcntl(folder_.get(), F_DUPFD_CLOEXEC, 0));
        if (!folder.valid()) {
            return errno;
        }
        return PosixCreatedFile::create(std::move(folder), folderPath_, prefix, file);
    }

    int prepareReplacement(CreatedFile& replacement) override {
        if (error_ != 0) {
            return error_;
        }
        auto* created = dynamic_cast<PosixCreatedFile*>(&replacement);
        if (created == nullptr || !sameFolder(created->folder())) {
            return EXDEV;
        }
        if (const int error = renameRefused()) {
            return error;
        }
        const int fd = created->descriptor();
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            return errno;
        }
        if (st.st_nlink != 1) {
            return EPERM;  // someone gave it a further name
        }
        if (const int error = posixio::copyExtendedAttributes(file_.get(), fd, true)) {
            return error;
        }
        if (const int error = posixio::copyOwnerAndMode(pinned_, fd, true)) {
            return error;
        }
        return ::fsync(fd) == 0 ? 0 : errno;
    }

    int renameOver(CreatedFile& replacement) override {
        if (error_ != 0) {
            return error_;
        }
        auto* created = dynamic_cast<PosixCreatedFile*>(&replacement);
        if (created == nullptr || !sameFolder(created->folder())) {
            return EXDEV;
        }
        const int folder = folder_.get();
        const char* temporary = created->name().c_str();
        if (!created->keepsItsName()) {
            return CreatedFile::kNameTaken;
        }
        // The two names are exchanged rather than one renamed over the other: should another
        // file be put under the temporary name in the moment after the check, it is put back
        // instead of taking the file's place.
        if (::renameat2(folder, temporary, folder, name_.c_str(), RENAME_EXCHANGE) != 0) {
            if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
                return errno;
            }
            const int error =
                posixio::renameReplacing(created->descriptor(), folder, created->name(), name_);
            (void)posixio::syncFolder(folder);
            return error;
        }
        if (!created->isNamedBy(folder, name_)) {
            ::renameat2(folder, temporary, folder, name_.c_str(), RENAME_EXCHANGE);
            return CreatedFile::kNameTaken;
        }
        if (posixio::names(folder, created->name(), file_.get())) {
            ::unlinkat(folder, temporary, 0);
        }
        // The rename has happened and cannot be taken back, so a folder that can't be flushed
        // must not report the file as unchanged.
        (void)posixio::syncFolder(folder);
        return 0;
    }

    int overwriteWith(CreatedFile& source, bool* touched) override {
        *touched = false;
        if (error_ != 0) {
            return error_;
        }
        auto* created = dynamic_cast<PosixCreatedFile*>(&source);
        if (created == nullptr) {
            return EINVAL;
        }
        const int in = created->descriptor();
        struct stat st;
        if (::fstat(in, &st) != 0) {
            return errno;
        }
        if (!writable_) {
            if (const int error = reopen()) {
                return error;
            }
            if (!writable_) {
                return EACCES;
            }
        }
        const int out = file_.get();
        // Space for the whole content must be there before a byte changes, so that a full disk
        // (or a file size limit) refuses the overwrite instead of leaving half of it. From
        // another file system every byte is written into the file's blocks; those it shares with
        // another file (a snapshot, or a copy the file system made by sharing them) count as
        // allocated, yet writing into them takes new ones, so that much must be free as well.
        // From the same file system the copy shares the source's blocks in their place where
        // blocks are shared at all. Checked before the space is taken, which may lengthen the
        // file.
        if (st.st_dev != pinned_.st_dev) {
            if (const int error = posixio::checkRoomToUnshare(out)) {
                return error;
            }
        }
        if (st.st_size > 0 && ::fallocate(out, 0, 0, st.st_size) != 0 && errno != EOPNOTSUPP &&
            errno != ENOSYS) {
            return errno;
        }
        *touched = true;
        int error = posixio::copyRange(in, 0, out, 0, static_cast<std::uint64_t>(st.st_size));
        if (error == 0 && ::ftruncate(out, st.st_size) != 0) {
            error = errno;
        }
        if (error == 0 && ::fsync(out) != 0) {
            error = errno;
        }
        return error;
    }

    int holdExclusively() override {
        if (error_ != 0) {
            return error_;
        }
        if (hold_ != nullptr) {
            return 0;
        }
        if (const int error = reopen()) {
            return error;
        }
        auto hold = std::make_unique<PosixExclusiveHold>();
        if (const int error = hold->take(file_.get(), writable_)) {
            return error;
        }
        hold_ = std::move(hold);
        return 0;
    }

    bool openedMeanwhile() override { return hold_ != nullptr && hold_->openedMeanwhile(); }

    void letGo() override {
        if (hold_ != nullptr) {
            hold_->release(file_.get());
            hold_.reset();
        }
    }

    int keepCopy(const fs::path& path, CopyKind kind, const std::string& note) override {
        if (error_ != 0) {
            return error_;
        }
        const std::string record = PosixCopyRecord::Of(file_.get(), pinned_, kind, note).text();
        const int error = stage(path, false, [&](int out) {
            const int filled = kind == CopyKind::Backup ? fill(out) : fillPrivately(out);
            // Unmarked where the file system keeps no attributes.
            (void)::fsetxattr(out, PosixCopyRecord::kAttribute, record.data(), record.size(), 0);
            return filled;
        });
        if (error != 0) {
            return error;
        }
        std::error_code ignored;
        const std::string where = fs::absolute(path, ignored).string();
        (void)::fsetxattr(file_.get(), PosixCopyRecord::kFileAttribute, where.data(), where.size(),
                          0);
        return refresh();
    }

    bool findCopy(const std::vector<fs::path>& candidates, MarkedCopy* copy) override {
        if (error_ != 0) {
            return false;
        }
        std::string recorded;
        if (posixio::readAttribute(file_.get(), PosixCopyRecord::kFileAttribute, &recorded) == 0 &&
            readCopy(recorded, copy)) {
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
        if (error_ != 0) {
            return;
        }
        (void)::fremovexattr(file_.get(), PosixCopyRecord::kFileAttribute);
        MarkedCopy again;
        if (copy.kind == CopyKind::Kept && readCopy(copy.path, &again)) {
            ::unlink(copy.path.c_str());
        }
        (void)refresh();
    }

private:
    int pin(const fs::path& path) {
        file_ = PosixFileDescriptor(openForReading(path));
        if (!file_.valid()) {
            return errno;
        }
        if (::fstat(file_.get(), &pinned_) != 0) {
            return errno;
        }
        if (!S_ISREG(pinned_.st_mode)) {
            return S_ISDIR(pinned_.st_mode) ? EISDIR : EINVAL;
        }
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) {
            return errno;
        }
        realPath_ = fs::path(real);
        std::free(real);
        name_ = realPath_.filename().string();
        folderPath_ = realPath_.parent_path();
        folder_ = posixio::openFolder(folderPath_);
        if (!folder_.valid()) {
            return errno;
        }
        struct stat named;
        if (::fstatat(folder_.get(), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !sameFile(named, pinned_)) {
            return kChanged;  // the path was changed while it was being resolved
        }
        return 0;
    }

    // Opens the file again as its only handle in this process, for reading and writing where
    // the caller may, else for reading; another program's lease on it makes this kInUse.
    int reopen() {
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        bool writable = true;
        PosixFileDescriptor fd(::openat(folder_.get(), name_.c_str(), O_RDWR | flags));
        if (!fd.valid() && (errno == EACCES || errno == EROFS)) {
            writable = false;
            fd = PosixFileDescriptor(::openat(folder_.get(), name_.c_str(), O_RDONLY | flags));
        }
        struct stat st;
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
            const int error = errno;
            return error == EWOULDBLOCK                ? kInUse
                   : error == ELOOP || error == ENOENT ? kChanged
                                                       : error;
        }
        if (!sameFile(st, pinned_)) {
            return kChanged;
        }
        file_ = std::move(fd);
        writable_ = writable;
        return 0;
    }

    // Makes a new file beside `path` (in the held folder when that is where it goes), has
    // `fill` write it through its descriptor, and gives it the name `path`.
    int stage(const fs::path& path, bool replace, const std::function<int(int)>& fill) {
        if (error_ != 0) {
            return error_;
        }
        PosixFileDescriptor otherFolder;
        if (!inFolder(path)) {
            otherFolder = posixio::openFolder(path.parent_path());
            if (!otherFolder.valid()) {
                return errno;
            }
        }
        const int folder = otherFolder.valid() ? otherFolder.get() : folder_.get();
        const std::string leaf = path.filename().string();
        struct stat taken;
        if (!replace && ::fstatat(folder, leaf.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
            return EEXIST;  // refused before anything is copied; the naming refuses it anyway
        }
        PosixFileDescriptor out;
        std::string staged;
        if (const int error = posixio::createUnique(folder, posixio::kTempPrefix, &out, &staged)) {
            return error;
        }
        int error = fill(out.get());
        if (error == 0) {
            error = replace ? posixio::renameReplacing(out.get(), folder, staged, leaf)
                            : posixio::renameWithoutReplacing(out.get(), folder, staged, leaf);
        }
        if (error != 0) {
            if (posixio::names(folder, staged, out.get())) {
                ::unlinkat(folder, staged.c_str(), 0);
            }
            return error;
        }
        (void)posixio::syncFolder(folder);
        return refresh();
    }

    // True when `path` is a copy marked by keepCopy as this very file's, owned by the caller
    // or by the file's owner; `*copy` then describes it.
    bool readCopy(const fs::path& path, MarkedCopy* copy) {
        PosixFileDescriptor fd(
            ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat st;
        std::string text;
        PosixCopyRecord record;
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
            (st.st_uid != ::geteuid() && st.st_uid != pinned_.st_uid) ||
            posixio::readAttribute(fd.get(), PosixCopyRecord::kAttribute, &text) != 0 ||
            !PosixCopyRecord::Parse(text, &record)) {
            return false;
        }
        struct stat now;
        if (::fstat(file_.get(), &now) != 0 ||
            !record.sameFile(PosixCopyRecord::Of(file_.get(), now, record.kind, ""))) {
            return false;
        }
        copy->path = path;
        copy->kind = record.kind;
        copy->note = record.note;
        copy->fileUnchanged = now.st_size == record.size &&
                              now.st_mtim.tv_sec == record.modifiedSeconds &&
                              now.st_mtim.tv_nsec == record.modifiedNanoseconds;
        return true;
    }

    // Takes the file's state again after a change this object made (a name added changes the
    // change time), so that checkUnchanged only sees the changes of others.
    int refresh() {
        struct stat now;
        if (::fstat(file_.get(), &now) != 0) {
            return errno;
        }
        pinned_.st_ctim = now.st_ctim;
        pinned_.st_nlink = now.st_nlink;
        return 0;
    }

    // True when `folder` is the folder that holds the file.
    bool sameFolder(int folder) const {
        struct stat a;
        struct stat b;
        return ::fstat(folder, &a) == 0 && ::fstat(folder_.get(), &b) == 0 && sameFile(a, b);
    }

    // EPERM where a sticky folder would refuse to rename over the file: only the owner of the
    // file or of the folder, or a privileged caller, may.
    int renameRefused() {
        struct stat folder;
        if (::fstat(folder_.get(), &folder) != 0) {
            return errno;
        }
        const uid_t caller = ::geteuid();
        const bool refused = (folder.st_mode & S_ISVTX) != 0 && caller != 0 &&
                             caller != pinned_.st_uid && caller != folder.st_uid;
        return refused ? EPERM : 0;
    }

    // Writes the pinned file's content and times into `out`, a new file that stays the caller's
    // own and readable by the caller only: it may lie in a folder open to everyone.
    int fillPrivately(int out) {
        int error =
            posixio::fillAndSync(file_.get(), static_cast<std::uint64_t>(pinned_.st_size), out);
        const struct timespec times[2] = {pinned_.st_atim, pinned_.st_mtim};
        if (error == 0 && ::futimens(out, times) != 0) {
            error = errno;
        }
        return error;
    }

    // Writes the pinned file's content and metadata into `out`, a new file.
    int fill(int out) {
        int error =
            posixio::fillAndSync(file_.get(), static_cast<std::uint64_t>(pinned_.st_size), out);
        if (error == 0) {
            (void)posixio::copyExtendedAttributes(file_.get(), out, false);
            error = posixio::copyOwnerAndMode(pinned_, out, false);
        }
        if (error == 0) {
            const struct timespec times[2] = {pinned_.st_atim, pinned_.st_mtim};
            error = ::futimens(out, times) == 0 ? 0 : errno;
        }
        return error;
    }

    // A path in the file's own folder is reached through the held folder; any other through
    // its own path.
    bool inFolder(const fs::path& path) const {
        std::error_code error;
        const fs::path absolute = fs::absolute(path, error).lexically_normal();
        return !error && absolute.parent_path() == folderPath_;
    }
    int folderFor(const fs::path& path) const { return inFolder(path) ? folder_.get() : AT_FDCWD; }
    std::string leafFor(const fs::path& path) const {
        return inFolder(path) ? path.filename().string() : path.string();
    }

    int error_ = 0;
    fs::path realPath_;
    fs::path folderPath_;
    std::string name_;
    PosixFileDescriptor folder_;
    PosixFileDescriptor file_;
    bool writable_ = false;
    std::unique_ptr<PosixExclusiveHold> hold_;
    struct stat pinned_ {};
};

}  // namespace

std::unique_ptr<PinnedFile> PinPosixFile(const fs::path& path) {
    return std::make_unique<PosixPinnedFile>(path);
}
