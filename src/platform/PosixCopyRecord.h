#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "platform/PinnedFile.h"

// What a copy made before an in-place overwrite records about its file, in an extended
// attribute of the copy; the file records where its copy is in an attribute of its own.
struct PosixCopyRecord {
    static constexpr const char* kAttribute = "user.patchdoc.original-of";
    static constexpr const char* kFileAttribute = "user.patchdoc.original-in";

    PinnedFile::CopyKind kind = PinnedFile::CopyKind::Kept;
    // The file: device, inode and birth time (0 where the file system keeps none), which tells a
    // file from a later one that was given the same inode.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t bornSeconds = 0;
    std::uint32_t bornNanoseconds = 0;
    // Its size and modification time when the copy was made.
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::string note;

    // The record of the file open as `fd`, with status `st`, as it is now.
    static PosixCopyRecord Of(int fd, const struct stat& st, PinnedFile::CopyKind kind,
                              std::string note);
    std::string text() const;
    // False for a text that is not such a record.
    static bool Parse(const std::string& text, PosixCopyRecord* record);
    // True when both name the same file.
    bool sameFile(const PosixCopyRecord& other) const;
};
