#pragma once

#include <cstdint>
#include <string>

// How the repair of one file ended, as the log line names it.
enum class RepairOutcome { Fixed, Ok, Failed };

// What the walk passed over without handing it to the repair, counted so that the summary line
// tells the administrator that such files exist.
enum class PassedOver {
    OtherCaseOfEnding,  // a name ending in ".PPT", ".Ppt" or another case of ".ppt"
};

// Counts the outcomes of a run, for the summary line printed at its end.
class RepairTally {
public:
    void add(RepairOutcome outcome);
    void add(PassedOver kind);
    std::uint64_t files() const { return fixed_ + ok_ + failed_; }
    std::uint64_t fixed() const { return fixed_; }
    std::uint64_t ok() const { return ok_; }
    std::uint64_t failed() const { return failed_; }
    // True when the walk met no presentation and passed over nothing.
    bool empty() const;

    // "3 files: 1 fixed, 1 ok, 1 failed. Log: " and the log's path ("1 file: " for one file).
    // What was passed over comes before ". Log: " when there was any:
    // "; passed over: 2 names ending in another case of .ppt". A run that logged no file ends
    // the line with ". No log written." instead.
    std::string summaryLine(const std::string& logPath) const;

private:
    std::uint64_t fixed_ = 0;
    std::uint64_t ok_ = 0;
    std::uint64_t failed_ = 0;
    std::uint64_t otherCase_ = 0;
};
