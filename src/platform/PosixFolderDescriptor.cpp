#include "platform/FolderDescriptor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace {

// O_CLOEXEC: the folders held by the walk must not stay open in the programs it starts.
constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

void FolderDescriptor::close() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

int FolderDescriptor::open(const std::string& path, FolderDescriptor* folder) {
    const int fd = ::open(path.c_str(), kOpenFlags);
    if (fd < 0) {
        return errno;
    }
    *folder = FolderDescriptor(fd);
    return 0;
}

int FolderDescriptor::openChild(const std::string& name, FolderDescriptor* child) const {
    const int fd = ::openat(static_cast<int>(handle_), name.c_str(), kOpenFlags | O_NOFOLLOW);
    if (fd < 0) {
        return errno;
    }
    *child = FolderDescriptor(fd);
    return 0;
}

int FolderDescriptor::list(std::vector<Entry>* entries) const {
    // The listing gets a descriptor of its own: closedir closes it, and this one stays open.
    const int listingFd = ::openat(static_cast<int>(handle_), ".", kOpenFlags);
    if (listingFd < 0) {
        return errno;
    }
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(listingFd));
    if (!dir) {
        const int error = errno;
        ::close(listingFd);
        return error;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            return errno;
        }
        if (IsDotOrDotDot(entry->d_name)) {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        bool isLink = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            const bool known =
                ::fstatat(static_cast<int>(handle_), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0;
            isFolder = known && S_ISDIR(st.st_mode);
            isLink = known && S_ISLNK(st.st_mode);
        }
        entries->push_back({entry->d_name, isFolder, isLink});
    }
}

bool FolderDescriptor::holds(const std::string& name) const {
    struct stat st {};
    return ::fstatat(static_cast<int>(handle_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

int FolderDescriptor::identify(const std::string& name, FileIdentity* identity) const {
    struct stat st {};
    if (::fstatat(static_cast<int>(handle_), name.c_str(), &st, 0) != 0) {
        return errno;
    }
    *identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return 0;
}
