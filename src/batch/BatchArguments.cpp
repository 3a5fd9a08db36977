#include "batch/BatchArguments.h"

#include "batch/LogFolder.h"

namespace {

const std::string kNoBackupOption = "-d";
const std::string kCheckOnlyOption = "-n";
const std::string kLogFolderOption = "-l:";
const std::string kJobsOption = "-j:";

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The number of "-j:N", or nothing when N is not a plain decimal number up to kMaxJobs.
std::optional<unsigned> JobsValue(const std::string& digits) {
    if (digits.empty()) {
        return 0u;
    }
    if (digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned value = static_cast<unsigned>(std::stoul(digits));
    return value <= kMaxJobs ? std::optional<unsigned>(value) : std::nullopt;
}

}  // namespace

BatchArguments ParseBatchArguments(const std::vector<std::string>& arguments) {
    BatchArguments result;
    for (const std::string& argument : arguments) {
        if (argument == kNoBackupOption) {
            result.createBackup = false;
        } else if (argument == kCheckOnlyOption) {
            result.checkOnly = true;
        } else if (StartsWith(argument, kLogFolderOption)) {
            result.logFolder = WithTrailingSeparator(argument.substr(kLogFolderOption.size()));
        } else if (StartsWith(argument, kJobsOption)) {
            result.jobs = JobsValue(argument.substr(kJobsOption.size()));
            result.invalidJobs = !result.jobs;
        } else {
            result.folders.push_back(argument);
        }
    }
    return result;
}
