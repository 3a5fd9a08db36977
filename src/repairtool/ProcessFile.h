#pragma once

#include <filesystem>
#include <ostream>

// Repairs one file and writes its result line to `out`: "[fixed], ", "[ok], " or "[err], "
// with a message, then the path as given (as StdoutText shows it: `out` stands for standard
// output). Returns 0 (repaired and replaced), 1 (nothing to
// repair) or 2 (error); on 1 and 2 the file is left as it was.
int ProcessFile(const std::filesystem::path& file, bool createBackup, std::ostream& out);

// Examines one file as ProcessFile would repair it, at every depth, and writes nothing anywhere:
// no output, backup or temporary file, and the file's times stay as they were where the system
// lets a reader keep its access time. The result line is "[flattened N], " with the number of
// objects a repair would fix, "[ok], " or "[err], " with the message a repair would give, then
// the path. Returns 0 (something to repair), 1 (nothing to repair) or 2 (error).
int CheckFile(const std::filesystem::path& file, std::ostream& out);
