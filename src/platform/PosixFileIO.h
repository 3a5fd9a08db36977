#pragma once

// Descriptor-level file operations shared by the POSIX implementations of Env and PinnedFile.
// Each returns 0 or an errno value.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
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

// Copies the whole of `in` (of the given size) into `out` and flushes it to disk.
int fillAndSync(int in, std::uint64_t size, int out);

// Flushes a folder's entries to disk; a folder that can't be flushed that way is not an error.
int syncFolder(int folder);

// Creates a new, empty file "<prefix>XXXXXX.tmp" in `folder` (a descriptor, or AT_FDCWD with a
// folder path in `folderPath`), readable and writable by the owner only, and opens it for
// reading and writing. The name is set in `*name` (without the folder).
int createUnique(int folder, const std::string& folderPath, const std::string& prefix,
                 PosixFileDescriptor* file, std::string* name);

// Gives `to` the extended attributes of `from` (access control lists among them) and takes away
// those `from` lacks. With strict false, attributes that can't be set are passed over.
int copyExtendedAttributes(int from, int to, bool strict);

// Gives `to` the owner and group of `st` where the caller may, then its permission bits (after
// the owner, since a change of owner clears set-id bits). With strict, fails with EPERM unless
// owner, group and all bits came out as in `st`.
int copyOwnerAndMode(const struct stat& st, int to, bool strict);

// Gives the complete file `name` in `fromFolder` the name `to` in `toFolder` unless that name is
// taken (EEXIST then), by a hard link or else a rename that refuses to replace.
int nameWithoutReplacing(int fromFolder, const std::string& name, int toFolder,
                         const std::string& to);

}  // namespace posixio
