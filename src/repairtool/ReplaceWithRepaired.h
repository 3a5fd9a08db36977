#pragma once

#include <filesystem>
#include <string>

#include "platform/PinnedFile.h"
#include "streams/TempFile.h"

// Puts the repaired presentation in `repaired` in the place of `file` (opened as `pinned` when
// the run began), after making a backup under a free backup name when `createBackup` is set.
// Nothing is replaced when the file was changed by another program since it was opened, or
// when another program has it open (PinnedFile::holdExclusively): the file is held from the
// last check until the run ends.
//
// Where a complete file can be renamed over it, keeping its owner, group, mode, extended
// attributes and access control lists, that is done, and the backup is the original file
// itself under its backup name (a second name; a copy where none can be made). Otherwise (other
// hard-link names, a folder that takes no new file or refuses the rename, metadata the caller
// can't give) the file is overwritten in place, and a complete copy of its old bytes, marked as
// the file's (PinnedFile::keepCopy), is on disk before that starts: the backup, or, without one,
// a copy under one of KeptOriginalNames() that is removed once the overwrite is complete. A
// program that opened the file during the overwrite (where no lease kept it out) fails the run,
// and the copy stays.
// On failure returns false and sets `message` (ending with a line feed).
bool ReplaceWithRepaired(const std::filesystem::path& file, PinnedFile& pinned, TempFile& repaired,
                         bool createBackup, std::string& message);
