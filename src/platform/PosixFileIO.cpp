#include "platform/PosixFileIO.h"

#include "platform/CreatedFile.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <vector>

namespace posixio {

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;
constexpr int kUniqueTries = 100;

// The attribute names of a file ("a\0b\0..."), or an empty list where the file system keeps
// none.
int listAttributes(int fd, std::vector<char>* names) {
    for (;;) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0) {
            if (errno == ENOTSUP) {
                names->clear();
                return 0;
            }
            return errno;
        }
        names->resize(static_cast<std::size_t>(size));
        if (size == 0) {
            return 0;
        }
        const ssize_t got = ::flistxattr(fd, names->data(), names->size());
        if (got >= 0) {
            names->resize(static_cast<std::size_t>(got));
            return 0;
        }
        if (errno != ERANGE) {
            return errno;
        }
    }
}

// The attributes this program keeps about a file for itself: they never pass to another file.
bool isOwnAttribute(const char* name) {
    return std::char_traits<char>::compare(name, "user.patchdoc.", 14) == 0;
}

bool listed(const std::vector<char>& names, const char* name) {
    for (std::size_t at = 0; at < names.size();
         at += std::char_traits<char>::length(&names[at]) + 1) {
        if (std::char_traits<char>::compare(&names[at], name,
                                            std::char_traits<char>::length(name) + 1) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int readAttribute(int fd, const char* name, std::string* value) {
    for (;;) {
        const ssize_t size = ::fgetxattr(fd, name, nullptr, 0);
        if (size < 0) {
            return errno;
        }
        value->resize(static_cast<std::size_t>(size));
        const ssize_t got = ::fgetxattr(fd, name, value->data(), value->size());
        if (got >= 0) {
            value->resize(static_cast<std::size_t>(got));
            return 0;
        }
        if (errno != ERANGE) {
            return errno;
        }
    }
}

int readFully(int fd, std::uint64_t offset, void* buffer, std::size_t count, std::size_t* done) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    *done = 0;
    while (*done < count) {
        const ssize_t n =
            ::pread(fd, bytes + *done, count - *done, static_cast<off_t>(offset + *done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            break;
        }
        *done += static_cast<std::size_t>(n);
    }
    return 0;
}

int writeFully(int fd, std::uint64_t offset, const void* buffer, std::size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int copyRange(int from, std::uint64_t fromOffset, int to, std::uint64_t toOffset,
              std::uint64_t count) {
    bool kernelCopy = true;
    std::vector<unsigned char> buffer;
    while (count > 0) {
        // Pieces end on multiples of the piece size in the output, so that after a short copy
        // the pieces still start on the file system's blocks where the range did.
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>(count, kCopyChunk - toOffset % kCopyChunk));
        if (kernelCopy) {
            loff_t in = static_cast<loff_t>(fromOffset);
            loff_t out = static_cast<loff_t>(toOffset);
            const ssize_t n = ::copy_file_range(from, &in, to, &out, chunk, 0);
            if (n > 0) {
                fromOffset += static_cast<std::uint64_t>(n);
                toOffset += static_cast<std::uint64_t>(n);
                count -= static_cast<std::uint64_t>(n);
                continue;
            }
            if (n == 0) {
                return EIO;  // the source ended before the range did
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
                errno != EBADF) {
                return errno;
            }
            kernelCopy = false;
        }
        if (buffer.empty()) {
            buffer.resize(kCopyChunk);
        }
        std::size_t got = 0;
        if (const int error = readFully(from, fromOffset, buffer.data(), chunk, &got)) {
            return error;
        }
        if (got < chunk) {
            return EIO;
        }
        if (const int error = writeFully(to, toOffset, buffer.data(), chunk)) {
            return error;
        }
        fromOffset += chunk;
        toOffset += chunk;
        count -= chunk;
    }
    return 0;
}

int checkRoomToUnshare(int fd) {
    constexpr std::uint32_t kExtents = 64;
    std::vector<std::uint8_t> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(buffer.data());
    std::uint64_t shared = 0;
    for (std::uint64_t start = 0;;) {
        std::fill(buffer.begin(), buffer.end(), 0);
        map->fm_start = start;
        map->fm_length = FIEMAP_MAX_OFFSET - start;
        map->fm_extent_count = kExtents;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) {
            return errno == EOPNOTSUPP || errno == ENOTTY ? 0 : errno;
        }
        bool last = map->fm_mapped_extents == 0;
        for (std::uint32_t i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& extent = map->fm_extents[i];
            if ((extent.fe_flags & FIEMAP_EXTENT_SHARED) != 0) {
                shared += extent.fe_length;
            }
            start = extent.fe_logical + extent.fe_length;
            last = last || (extent.fe_flags & FIEMAP_EXTENT_LAST) != 0;
        }
        if (last) {
            break;
        }
    }
    struct statvfs fs;
    if (shared == 0 || ::fstatvfs(fd, &fs) != 0) {
        return 0;
    }
    return shared > std::uint64_t{fs.f_bavail} * fs.f_frsize ? ENOSPC : 0;
}

int fillAndSync(int in, std::uint64_t size, int out) {
    const auto end = static_cast<off_t>(size);
    for (off_t at = 0; at < end;) {
        off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO) {
            break;  // nothing but a hole up to the end
        }
        off_t hole = data < 0 ? end : ::lseek(in, data, SEEK_HOLE);
        if (data < 0 || hole < 0) {
            data = at;  // the system can't tell: copy the rest as it is
            hole = end;
        }
        hole = std::min(hole, end);
        if (data < hole) {
            if (const int error = copyRange(in, static_cast<std::uint64_t>(data), out,
                                            static_cast<std::uint64_t>(data),
                                            static_cast<std::uint64_t>(hole - data))) {
                return error;
            }
        }
        at = std::max(hole, data + 1);
    }
    if (::ftruncate(out, end) != 0) {
        return errno;
    }
    return ::fsync(out) == 0 ? 0 : errno;
}

PosixFileDescriptor openFolder(const std::filesystem::path& path) {
    const std::string name = path.empty() ? std::string(".") : path.string();
    PosixFileDescriptor folder(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid() && errno == EACCES) {
        folder = PosixFileDescriptor(::open(name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return folder;
}

int syncFolder(int folder) {
    if (::fsync(folder) != 0 && errno != EINVAL && errno != EBADF) {
        return errno;
    }
    return 0;
}

int createUnique(int folder, const std::string& prefix, PosixFileDescriptor* file,
                 std::string* name) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < kUniqueTries; ++attempt) {
        std::string candidate = prefix;
        for (int i = 0; i < 6; ++i) {
            candidate += kLetters[pick(random)];
        }
        candidate += ".tmp";
        const int fd = ::openat(folder, candidate.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            *file = PosixFileDescriptor(fd);
            *name = candidate;
            return 0;
        }
        if (errno != EEXIST) {
            return errno;
        }
    }
    return EEXIST;
}

int copyExtendedAttributes(int from, int to, bool strict) {
    std::vector<char> wanted;
    std::vector<char> present;
    if (const int error = listAttributes(from, &wanted)) {
        return strict ? error : 0;
    }
    if (const int error = listAttributes(to, &present)) {
        return strict ? error : 0;
    }
    // Attributes the new file got from its folder (a default access control list) go first.
    for (std::size_t at = 0; at < present.size();
         at += std::char_traits<char>::length(&present[at]) + 1) {
        const char* name = &present[at];
        if (!listed(wanted, name) && !isOwnAttribute(name) && ::fremovexattr(to, name) != 0 &&
            strict) {
            return errno;
        }
    }
    std::string value;
    for (std::size_t at = 0; at < wanted.size();
         at += std::char_traits<char>::length(&wanted[at]) + 1) {
        const char* name = &wanted[at];
        if (isOwnAttribute(name)) {
            continue;
        }
        int error = readAttribute(from, name, &value);
        if (error == 0 && ::fsetxattr(to, name, value.data(), value.size(), 0) != 0) {
            error = errno;
        }
        if (error != 0 && strict) {
            return error;
        }
    }
    return 0;
}

int copyOwnerAndMode(const struct stat& st, int to, bool strict) {
    struct stat now;
    if (::fstat(to, &now) != 0) {
        return errno;
    }
    if ((now.st_uid != st.st_uid || now.st_gid != st.st_gid) &&
        ::fchown(to, st.st_uid, st.st_gid) != 0) {
        if (strict) {
            return errno;
        }
        // Keep at least the group where the caller is a member of it.
        (void)!::fchown(to, static_cast<uid_t>(-1), st.st_gid);
    }
    if (::fchmod(to, st.st_mode & 07777) != 0) {
        return errno;
    }
    if (!strict) {
        return 0;
    }
    // The system may drop a set-group-id bit silently (a group the caller is not a member of).
    if (::fstat(to, &now) != 0) {
        return errno;
    }
    const bool same = now.st_uid == st.st_uid && now.st_gid == st.st_gid &&
                      (now.st_mode & 07777) == (st.st_mode & 07777);
    return same ? 0 : EPERM;
}

bool names(int folder, const std::string& name, int fd) {
    struct stat named;
    struct stat held;
    return ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(fd, &held) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

int renameWithoutReplacing(int fd, int folder, const std::string& name, const std::string& to) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), folder, to.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        if (names(folder, name, fd)) {
            ::unlinkat(folder, name.c_str(), 0);
        }
        return 0;
    }
    const int error = errno;
    const bool noLink = error == EPERM || error == EOPNOTSUPP || error == EMLINK ||
                        error == ENOSYS || error == ENOENT || error == EXDEV;
    if (!noLink) {
        return error;
    }
    if (!names(folder, name, fd)) {
        return CreatedFile::kNameTaken;
    }
    if (::renameat2(folder, name.c_str(), folder, to.c_str(), RENAME_NOREPLACE) != 0) {
        return errno == EINVAL || errno == ENOSYS ? error : errno;
    }
    return names(folder, to, fd) ? 0 : CreatedFile::kNameTaken;
}

int renameReplacing(int fd, int folder, const std::string& name, const std::string& to) {
    if (!names(folder, name, fd)) {
        return CreatedFile::kNameTaken;
    }
    if (::renameat(folder, name.c_str(), folder, to.c_str()) != 0) {
        return errno;
    }
    return names(folder, to, fd) ? 0 : CreatedFile::kNameTaken;
}

}  // namespace posixio
