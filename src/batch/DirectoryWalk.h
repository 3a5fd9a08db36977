#pragma once

#include <string>
#include <vector>

class RepairRun;

// True for a name that ends with ".ppt", compared case-sensitively.
bool IsPresentationName(const std::string& name);

// True for a name that ends with another letter case of ".ppt" (REPORT.PPT, a.Ppt): such files
// are not repaired, but counted, so that the summary line tells that they exist.
bool IsOtherCaseOfPresentationName(const std::string& name);

// Walks each folder argument in order, depth first and in pre-order, with the entries of a
// folder in the order the file system lists them, and hands every entry whose name is a
// presentation name to `run` (a folder too: Patchdoc then reports the error); once the run takes
// no more files, the walk ends. Folders are reached from
// their parent's descriptor, so the depth of a tree is limited by the number of descriptors a
// process may hold, not by the length of its paths. An argument that doesn't exist is passed
// over in silence. A folder that can't be opened or listed, for whatever reason, is reported on
// standard output and skipped; the walk goes on with the rest. Links to folders inside a tree
// are not followed. Never handed to the repair: files the run created itself, backup copies
// ("X (Backup).ppt", "X (Backup 1).ppt" to "X (Backup 9).ppt") beside their "X.ppt", and
// symbolic links with a presentation name, which are counted as passed over instead.
void WalkDirectories(const std::vector<std::string>& folders, RepairRun& run);
