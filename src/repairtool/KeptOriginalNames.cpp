#include "repairtool/KeptOriginalNames.h"

#include <string>

std::vector<std::filesystem::path> KeptOriginalNames(const std::filesystem::path& file,
                                                     const std::filesystem::path& tempFolder) {
    const std::string name = file.filename().string() + ".patchdoc-original";
    std::vector<std::filesystem::path> names{file.parent_path() / name, tempFolder / name};
    for (int number = 1; number <= 9; ++number) {
        names.push_back(tempFolder / (name + "-" + std::to_string(number)));
    }
    return names;
}
