#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileIdentity.h"

// An open folder, held by its descriptor: what lies below it is reached by name from here, so
// the length of the path to it never matters, and a folder that is renamed or replaced while it
// is held stays the folder that was opened. Names and paths are UTF-8; error numbers are the
// platform's, as the Env's.
class FolderDescriptor {
public:
    struct Entry {
        std::string name;
        bool isFolder;  // a real folder: a link to one is not
        bool isLink;    // a symbolic link, whatever it leads to
    };

    FolderDescriptor() = default;
    FolderDescriptor(FolderDescriptor&& other) noexcept;
    FolderDescriptor& operator=(FolderDescriptor&& other) noexcept;
    FolderDescriptor(const FolderDescriptor&) = delete;
    FolderDescriptor& operator=(const FolderDescriptor&) = delete;
    ~FolderDescriptor();

    // Opens the folder at `path`, following symbolic links. Returns 0 or an error number.
    static int open(const std::string& path, FolderDescriptor* folder);

    // Opens the folder `name` of this one; a symbolic link (or any other link to a folder, such
    // as a junction) is refused with an error of kind NotFound, so a name that
    // was swapped for a link after it was listed leads nowhere else. Returns 0 or an error
    // number.
    int openChild(const std::string& name, FolderDescriptor* child) const;

    // Every entry of the folder but "." and "..", in the order the file system lists them.
    // Returns 0 or an error number; on failure `entries` holds what was read before it.
    int list(std::vector<Entry>* entries) const;

    // True when anything at all exists under `name` in this folder (a link counts as itself).
    bool holds(const std::string& name) const;

    // The identity of the file `name` of this folder names, a symbolic link followed. Returns 0
    // or an error number.
    int identify(const std::string& name, FileIdentity* identity) const;

private:
    explicit FolderDescriptor(std::intptr_t handle) : handle_(handle) {}
    void close();

    std::intptr_t handle_ = -1;  // a descriptor, or a handle, of the system
};
