#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

// Makes a folder refuse new names for as long as this object lives. An ordinary user loses
// the folder's write permission; root, which permission bits do not stop, gets the folder
// marked immutable, where the file system supports that. The files already in the folder
// stay writable.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::filesystem::path folder) : folder_(std::move(folder)) {
        if (::geteuid() != 0) {
            struct stat st {};
            if (::stat(folder_.c_str(), &st) == 0 && ::chmod(folder_.c_str(), 0555) == 0) {
                oldMode_ = st.st_mode & 07777;
                active_ = true;
            }
            return;
        }
        active_ = setImmutable(true);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    ~ReadOnlyFolder() {
        if (!active_) {
            return;
        }
        if (::geteuid() != 0) {
            ::chmod(folder_.c_str(), oldMode_);
        } else {
            setImmutable(false);
        }
    }

    // False when the folder could not be made read-only here; the test is then skipped.
    bool active() const { return active_; }

private:
    bool setImmutable(bool on) {
        const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) {
            return false;
        }
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    std::filesystem::path folder_;
    mode_t oldMode_ = 0;
    bool active_ = false;
};
