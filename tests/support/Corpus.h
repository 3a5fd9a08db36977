#pragma once

#include <cstdlib>
#include <filesystem>

namespace fixtures {

// The folder of real presentations that PATCH_CORPUS names, or an empty path when there is none.
inline std::filesystem::path corpusFolder() {
    const char* folder = std::getenv("PATCH_CORPUS");
    std::error_code error;
    return folder != nullptr && std::filesystem::is_directory(folder, error)
               ? std::filesystem::path(folder)
               : std::filesystem::path();
}

}  // namespace fixtures
