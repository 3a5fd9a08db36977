#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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
        const std::string command = std::string("chattr ") + (readOnly ? "+i '" : "-i '") +
                                    folder_.string() + "' 2>/dev/null";
        return std::system(command.c_str()) == 0;
    }

    std::filesystem::path folder_;
    bool active_;
};
