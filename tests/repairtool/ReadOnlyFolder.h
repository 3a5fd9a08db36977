#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

// Makes a folder refuse new names for as long as this object lives. An ordinary user loses
// the folder's write permission (given back as owner rwx); root, which permission bits do not
// stop, gets the folder marked immutable, where the file system supports that. The files
// already in the folder stay writable.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::filesystem::path folder)
        : folder_(std::move(folder)), active_(set(true)) {}
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    ~ReadOnlyFolder() {
        if (active_) {
            set(false);
        }
    }

    // False when the folder could not be made read-only here; the test is then skipped.
    bool active() const { return active_; }

private:
    bool set(bool readOnly) const {
        if (::geteuid() != 0) {
            return ::chmod(folder_.c_str(), readOnly ? 0555 : 0700) == 0;
        }
        const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = readOnly ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        return done;
    }

    std::filesystem::path folder_;
    bool active_;
};
