#pragma once

#include <string>
#include <vector>

// Runs Patchtree with its arguments (the program name left out) and returns the exit code:
// 1 for wrong arguments or a log folder that can't be created, otherwise 0 once the folders
// have been walked, whatever happened to the single files.
int RunPatchtree(const std::vector<std::string>& arguments);
