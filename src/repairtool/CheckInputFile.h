#pragma once

#include <filesystem>
#include <ostream>

// True when `path` names a regular file (symbolic links followed). Otherwise writes why to
// `out`: a missing path with the usage text, anything else (nothing there, a folder, a FIFO, a
// device) as "<path> does not exist.", the path as StdoutText shows it (`out` stands for
// standard output).
bool CheckInputFile(const std::filesystem::path& path, std::ostream& out);
