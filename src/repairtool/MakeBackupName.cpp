#include "repairtool/MakeBackupName.h"

#include <string>

#include "platform/Env.h"

namespace {
constexpr int kNumberedCandidates = 9;
}  // namespace

std::vector<std::filesystem::path> BackupCandidates(const std::filesystem::path& file) {
    const std::string name = file.filename().u8string();
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    std::vector<std::filesystem::path> candidates;
    for (int attempt = 0; attempt <= kNumberedCandidates; ++attempt) {
        const std::string suffix =
            attempt == 0 ? " (Backup)" : " (Backup " + std::to_string(attempt) + ")";
        candidates.push_back(file);
        candidates.back().replace_filename(std::filesystem::u8path(stem + suffix + extension));
    }
    return candidates;
}

std::filesystem::path MakeBackupName(const std::filesystem::path& file) {
    for (const std::filesystem::path& candidate : BackupCandidates(file)) {
        if (!Env::Default().pathExists(candidate)) {
            return candidate;
        }
    }
    return std::filesystem::path();
}
