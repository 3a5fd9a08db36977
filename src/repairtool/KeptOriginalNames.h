#pragma once

#include <filesystem>
#include <vector>

// Where a run without backups keeps a copy of the original while it overwrites the file in
// place, in the order they are tried: the file's name followed by ".patchdoc-original" in the
// same folder; the same name in the temporary folder (for a folder that takes no new file);
// there with "-1" to "-9" appended, should that name be taken. The copy is removed once the
// overwrite is complete.
std::vector<std::filesystem::path> KeptOriginalNames(const std::filesystem::path& file,
                                                     const std::filesystem::path& tempFolder);
