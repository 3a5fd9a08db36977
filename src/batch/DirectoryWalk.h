#pragma once

#include <string>
#include <vector>

// True for a name that ends with ".ppt", compared case-sensitively.
bool IsPresentationName(const std::string& name);

// Walks each folder argument in order, depth first and in pre-order, with the entries of a
// folder in the order the file system lists them, and repairs every entry whose name is a
// presentation name (a folder too: Patchdoc then reports the error). An argument that doesn't
// exist is passed over in silence. A folder that can't be listed is reported on standard
// output and skipped; the walk goes on with the rest. Files this walk created itself are never
// handed to the repair.
void WalkDirectories(const std::vector<std::string>& folders, bool createBackup);
