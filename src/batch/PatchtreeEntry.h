#pragma once

#include <string>
#include <vector>

// Runs Patchtree with its arguments (the program name left out) and returns the exit code:
// 1 for wrong arguments, a log folder that can't be created, or a run that the console's
// interrupt stopped (with "-j:" or "-n"), otherwise 0 once the folders have been walked, whatever
// happened to the single files. A run that handed at least one file to Patchdoc ends with the
// summary line of RepairTally on standard output.
int RunPatchtree(const std::vector<std::string>& arguments);
