#pragma once

#include <filesystem>

// A free name for the backup copy of `file`, in the same folder: " (Backup)", then
// " (Backup 1)" to " (Backup 9)", inserted before the last "." of the file name (appended to a
// name without one). Empty when all ten names are taken by anything at all.
std::filesystem::path MakeBackupName(const std::filesystem::path& file);
