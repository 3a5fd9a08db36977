#include "batch/BackupWatch.h"

#include "batch/BackupNames.h"
#include "batch/CreatedFiles.h"
#include "platform/Env.h"

namespace {

constexpr int kRepairedStatus = 0;

std::vector<bool> ExistingNames(const std::vector<std::string>& names) {
    std::vector<bool> exists;
    exists.reserve(names.size());
    for (const std::string& name : names) {
        exists.push_back(Env::Default().pathExists(std::filesystem::u8path(name)));
    }
    return exists;
}

}  // namespace

BackupWatch::BackupWatch(const std::string& path, bool createBackup)
    : names_(createBackup ? BackupNameCandidates(path) : std::vector<std::string>()),
      takenBefore_(ExistingNames(names_)) {}

void BackupWatch::noteCreated(const ProcessResult& result, CreatedFiles& created) const {
    if (!result.exited || result.exitStatus != kRepairedStatus) {
        return;
    }
    const std::vector<bool> takenAfter = ExistingNames(names_);
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (takenAfter[i] && !takenBefore_[i]) {
            created.add(names_[i]);
        }
    }
}
