#pragma once

#include <string>
#include <vector>

// The ten names Patchdoc tries, in order, for the backup copy of a file: " (Backup)", then
// " (Backup 1)" to " (Backup 9)", inserted before the last "." of the path (appended when the
// path has none).
std::vector<std::string> BackupNameCandidates(const std::string& path);
