#pragma once

#include <string>

// The text with the platform's path separator appended, unless it is empty or ends with one.
std::string WithTrailingSeparator(std::string folder);

// Creates the last level of the folder (not its parents). On failure prints why on standard
// output and returns false; a file (or a link to one) in the folder's place is refused with
// "The log folder <folder> is a file, not a folder.".
bool CreateLogFolder(const std::string& folder);
