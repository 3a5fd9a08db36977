#pragma once

#include <filesystem>
#include <vector>

// The ten backup names of `file`, in the order they are tried: " (Backup)", then " (Backup 1)"
// to " (Backup 9)", inserted before the last "." of the file name (appended to a name without
// one), in the same folder.
std::vector<std::filesystem::path> BackupCandidates(const std::filesystem::path& file);

// The first of the backup names of `file` that is free. Empty when all ten names are taken by
// anything at all.
std::filesystem::path MakeBackupName(const std::filesystem::path& file);
