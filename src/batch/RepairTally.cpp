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

std::string RepairTally::summaryLine(const std::string& logPath, const char* fixedWord) const {
    return std::to_string(files()) + (files() == 1 ? " file: " : " files: ") +
           std::to_string(fixed_) + " " + fixedWord + ", " + std::to_string(ok_) + " ok, " +
           std::to_string(failed_) + " failed. Log: " + logPath;
}
