#pragma once

#include <filesystem>
#include <string>

#include "streams/TempFile.h"

// Puts the repaired presentation in `repaired` in the place of `file`, after copying `file` to
// a backup name when `createBackup` is set. The real file behind a symbolic link is replaced;
// wherever possible a complete file is renamed over it, so it holds either its old bytes or
// the repaired ones. Once `repaired` has been renamed it is released.
// On failure returns false and sets `message` (ending with a line feed); the file is then
// unchanged, except when it had to be overwritten in place (other hard-link names, or a folder
// that takes no new file) and that copy failed. A backup made by this call is removed again
// when the file is known to be unchanged.
bool ReplaceWithRepaired(const std::filesystem::path& file, TempFile& repaired, bool createBackup,
                         std::string& message);
