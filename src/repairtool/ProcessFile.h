#pragma once

#include <filesystem>
#include <ostream>

// Repairs one file and writes its result line to `out`: "[fixed], ", "[ok], " or "[err], "
// with a message, then the path as given (as StdoutText shows it: `out` stands for standard
// output). Returns 0 (repaired and replaced), 1 (nothing to
// repair) or 2 (error); on 1 and 2 the file is left as it was.
int ProcessFile(const std::filesystem::path& file, bool createBackup, std::ostream& out);
