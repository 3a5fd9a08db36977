#include "repairtool/MakeBackupName.h"

#include <string>

#include "platform/Env.h"

namespace {
constexpr int kNumberedCandidates = 9;
}  // namespace

std::filesystem::path MakeBackupName(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    for (int attempt = 0; attempt <= kNumberedCandidates; ++attempt) {
        const std::string suffix =
            attempt == 0 ? " (Backup)" : " (Backup " + std::to_string(attempt) + ")";
        std::filesystem::path candidate = file;
        candidate.replace_filename(stem + suffix + extension);
        if (!Env::Default().pathExists(candidate)) {
            return candidate;
        }
    }
    return std::filesystem::path();
}
