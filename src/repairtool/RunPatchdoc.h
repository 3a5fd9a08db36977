#pragma once

#include <ostream>
#include <string>
#include <vector>

// Patchdoc's command line: `arguments` are those after the program name. Writes every message
// and result line to `out` and returns the exit code: 0 repaired, 1 error, 2 nothing to repair.
int RunPatchdoc(const std::vector<std::string>& arguments, std::ostream& out);
