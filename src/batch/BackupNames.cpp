#include "batch/BackupNames.h"

std::vector<std::string> BackupNameCandidates(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::string stem = dot == std::string::npos ? path : path.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : path.substr(dot);
    std::vector<std::string> names;
    names.reserve(10);
    names.push_back(stem + " (Backup)" + extension);
    for (int attempt = 1; attempt <= 9; ++attempt) {
        names.push_back(stem + " (Backup " + std::to_string(attempt) + ")" + extension);
    }
    return names;
}

std::string OriginalOfBackupName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    for (const std::string& candidate : BackupNameCandidates("")) {
        // Each candidate for the empty path is just the suffix.
        if (stem.size() >= candidate.size() &&
            stem.compare(stem.size() - candidate.size(), candidate.size(), candidate) == 0) {
            return stem.substr(0, stem.size() - candidate.size()) + extension;
        }
    }
    return std::string();
}
