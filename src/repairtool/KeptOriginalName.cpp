#include "repairtool/KeptOriginalName.h"

std::filesystem::path KeptOriginalName(const std::filesystem::path& file) {
    std::filesystem::path kept = file;
    kept += ".patchdoc-original";
    return kept;
}
