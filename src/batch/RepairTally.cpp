#include "batch/RepairTally.h"

void RepairTally::add(RepairOutcome outcome) {
    switch (outcome) {
        case RepairOutcome::Fixed:
            ++fixed_;
            break;
        case RepairOutcome::Ok:
            ++ok_;
            break;
        case RepairOutcome::Failed:
            ++failed_;
            break;
    }
}

std::uint64_t RepairTally::passedOver() const {
    std::uint64_t all = 0;
    for (const std::uint64_t count : passedOver_) {
        all += count;
    }
    return all;
}

std::string RepairTally::summaryLine(const std::string& logPath, const char* fixedWord) const {
    // Each kind's name for one and for more, in the order of PassedOver.
    static const char* const kNames[][2] = {
        {"symbolic link", "symbolic links"},
        {"name ending in another case of .ppt", "names ending in another case of .ppt"}};
    std::string passed;
    for (std::size_t kind = 0; kind < passedOver_.size(); ++kind) {
        if (passedOver_[kind] > 0) {
            passed += (passed.empty() ? "; passed over: " : ", ") +
                      std::to_string(passedOver_[kind]) + " " +
                      kNames[kind][passedOver_[kind] == 1 ? 0 : 1];
        }
    }
    return std::to_string(files()) + (files() == 1 ? " file: " : " files: ") +
           std::to_string(fixed_) + " " + fixedWord + ", " + std::to_string(ok_) + " ok, " +
           std::to_string(failed_) + " failed" + passed +
           (files() > 0 ? ". Log: " + logPath : ". No log written.");
}
