#include "repairtool/KeptOriginalNames.h"

#include <string>

std::vector<std::filesystem::path> KeptOriginalNames(const std::filesystem::path& file,
                                                     const std::filesystem::path& tempFolder) {
    const std::string name = file.filename().u8string() + ".patchdoc-original";
    const auto named = [&name](const std::string& suffix) {
        return std::filesystem::u8path(name + suffix);
    };
    std::vector<std::filesystem::path> names{file.parent_path() / named(""),
                                             tempFolder / named("")};
    for (int number = 1; number <= 9; ++number) {
        names.push_back(tempFolder / named("-" + std::to_string(number)));
    }
    return names;
}
