#pragma once

// Descriptor-level file operations shared by the POSIX implementations of Env and PinnedFile.
// Each returns 0 or an errno value.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/PosixFileDescriptor.h"

namespace posixio {

// Temporary and staged files carry this prefix, so that one left by a killed run is known for
// what it is.
constexpr const char* kTempPrefix = "kvf";

int readFully(int fd, std::uint64_t offset, void* buffer, std::size_t count, std::size_t* done);
int writeFully(int fd, std::uint64_t offset, const void* buffer, std::size_t count);

// Copies `count` bytes between two descriptors, in the kernel when it can; a file system that
// shares blocks between files shares those of a range whose offsets and length are multiples
// of its block size.
int copyRange(int from, std::uint64_t fromOffset, int to, std::uint64_t toOffset,
              std::uint64_t count);

// ENOSPC when the file system holding `fd` has less room free than the bytes of the file that
// share blocks with another file (which writing into them would take); 0 otherwise, also where
// the file system can't tell which blocks are shared.
int checkRoomToUnshare(int fd);

// Copies the whole of `in` (of the given size) into `out`, a new empty file, and flushes it to
// disk. Holes stay holes: only the stretches that hold data are copied.
int fillAndSync(int in, std::uint64_t size, int out);

// Opens a folder for reading, or where that is refused for reaching what is in it only.
PosixFileDescriptor openFolder(const std::filesystem::path& path);

// Flushes a folder's entries to disk; a folder that can't be flushed that way is not an error.
int syncFolder(int folder);

// Creates a new, empty file "<prefix>XXXXXX.tmp" in the folder `folder`, readable and writable
// by the owner only, and opens it for reading and writing. The name is set in `*name`.
int createUnique(int folder, const std::string& prefix, PosixFileDescriptor* file,
                 std::string* name);

// The value of the extended attribute `name` of the file open as `fd`.
int readAttribute(int fd, const char* name, std::string* value);

// Gives `to` the extended attributes of `from` (access control lists among them) and takes away
// those `from` lacks; the program's own (user.patchdoc.*) are left as they are. With strict false,
// attributes that can't be set are passed over.
int copyExtendedAttributes(int from, int to, bool strict);

// Gives `to` the owner and group of `st` where the caller may, then its permission bits (after
// the owner, since a change of owner clears set-id bits). With strict, fails with EPERM unless
// owner, group and all bits came out as in `st`.
int copyOwnerAndMode(const struct stat& st, int to, bool strict);

// True when `name` in `folder` names the file open as `fd` itself (a symbolic link does not).
bool names(int folder, const std::string& name, int fd);

// Gives the complete file open as `fd`, created as `name` in `folder`, the name `to` in the same
// folder instead, unless that name is taken (EEXIST then). The new name is made through the
// descriptor, so it is this file whatever `name` holds by then; where the file system makes no
// such link, `name` is renamed after checking that it still is this file
// (CreatedFile::kNameTaken when it is not). Other errors (ENAMETOOLONG, ...) come as they are.
int renameWithoutReplacing(int fd, int folder, const std::string& name, const std::string& to);

// Renames `name` in `folder`, the file open as `fd`, over `to`, once `name` was checked to still
// be that file; afterwards `to` must be that file too. CreatedFile::kNameTaken when
// either check fails.
int renameReplacing(int fd, int folder, const std::string& name, const std::string& to);

}  // namespace posixio
