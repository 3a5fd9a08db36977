#include "batch/BatchArguments.h"

#include "batch/LogFolder.h"

namespace {

const std::string kNoBackupOption = "-d";
const std::string kLogFolderOption = "-l:";

}  // namespace

BatchArguments ParseBatchArguments(const std::vector<std::string>& arguments) {
    BatchArguments result;
    for (const std::string& argument : arguments) {
        if (argument == kNoBackupOption) {
            result.createBackup = false;
        } else if (argument.compare(0, kLogFolderOption.size(), kLogFolderOption) == 0) {
            result.logFolder = WithTrailingSeparator(argument.substr(kLogFolderOption.size()));
        } else {
            result.folders.push_back(argument);
        }
    }
    return result;
}
