#pragma once

#include <string>
#include <vector>

// The ten names Patchdoc tries, in order, for the backup copy of a file: " (Backup)", then
// " (Backup 1)" to " (Backup 9)", inserted before the last "." of the path (appended when the
// path has none).
std::vector<std::string> BackupNameCandidates(const std::string& path);

// The file name whose backup copy Patchdoc would name `name` ("talk.ppt" for "talk (Backup).ppt"
// and "talk (Backup 3).ppt"), or empty when `name` is not such a backup name.
std::string OriginalOfBackupName(const std::string& name);
