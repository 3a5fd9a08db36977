#pragma once

#include <cstdint>
#include <string>

// How the repair of one file ended, as the log line names it.
enum class RepairOutcome { Fixed, Ok, Failed };

// Counts the outcomes of a run, for the summary line printed at its end.
class RepairTally {
public:
    void add(RepairOutcome outcome);

    std::uint64_t files() const { return fixed_ + ok_ + failed_; }
    std::uint64_t fixed() const { return fixed_; }
    std::uint64_t ok() const { return ok_; }
    std::uint64_t failed() const { return failed_; }

    // "3 files: 1 fixed, 1 ok, 1 failed. Log: " and the log's path ("1 file: " for one file);
    // `fixedWord` names the first count.
    std::string summaryLine(const std::string& logPath, const char* fixedWord = "fixed") const;

private:
    std::uint64_t fixed_ = 0;
    std::uint64_t ok_ = 0;
    std::uint64_t failed_ = 0;
};
