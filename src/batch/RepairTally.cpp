#include "batch/RepairTally.h"

#include <vector>

namespace {

std::string Counted(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

}  // namespace

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

bool RepairTally::empty() const {
    return files() == 0 && otherCase_ == 0;
}

void RepairTally::add(PassedOver kind) {
    switch (kind) {
        case PassedOver::OtherCaseOfEnding:
            ++otherCase_;
            break;
    }
}

std::string RepairTally::summaryLine(const std::string& logPath) const {
    std::vector<std::string> passedOver;
    if (otherCase_ > 0) {
        passedOver.push_back(Counted(otherCase_, "name ending in another case of .ppt",
                                     "names ending in another case of .ppt"));
    }
    std::string line = Counted(files(), "file: ", "files: ") + std::to_string(fixed_) + " fixed, " +
                       std::to_string(ok_) + " ok, " + std::to_string(failed_) + " failed";
    for (std::size_t i = 0; i < passedOver.size(); ++i) {
        line += (i == 0 ? "; passed over: " : ", ") + passedOver[i];
    }
    return line + (files() > 0 ? ". Log: " + logPath : ". No log written.");
}
