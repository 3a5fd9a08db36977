#pragma once

#include <filesystem>

// The absolute path of the file that `path` leads to, with symbolic links resolved; the
// absolute form of `path` itself when it cannot be resolved.
std::filesystem::path RealFilePath(const std::filesystem::path& path);
