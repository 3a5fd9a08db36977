#pragma once

#include <array>
#include <cstdint>
#include <string>

// How the repair of one file ended, as the log line names it.
enum class RepairOutcome { Fixed, Ok, Failed };

// What the walk passes over where a presentation would be, each kind counted apart, so that the
// summary line tells the administrator that such files exist.
enum class PassedOver {
    SymbolicLink,
    OtherCaseOfEnding,  // a name ending in ".PPT", ".Ppt" or another case of ".ppt"
    kCount
};

// Counts the outcomes of a run, for the summary line printed at its end.
class RepairTally {
public:
    void add(RepairOutcome outcome);
    void passOver(PassedOver kind) { ++passedOver_[static_cast<std::size_t>(kind)]; }

    std::uint64_t files() const { return fixed_ + ok_ + failed_; }
    std::uint64_t fixed() const { return fixed_; }
    std::uint64_t ok() const { return ok_; }
    std::uint64_t failed() const { return failed_; }

    // Everything passed over, all kinds together.
    std::uint64_t passedOver() const;

    // "3 files: 1 fixed, 1 ok, 1 failed. Log: " and the log's path ("1 file: " for one file);
    // `fixedWord` names the first count. What was passed over is listed before ". Log: ", each
    // kind that occurred with its count: "; passed over: 2 symbolic links". A run that logged no
    // file ends the line with ". No log written." instead.
    std::string summaryLine(const std::string& logPath, const char* fixedWord = "fixed") const;

private:
    std::array<std::uint64_t, static_cast<std::size_t>(PassedOver::kCount)> passedOver_{};
    std::uint64_t fixed_ = 0;
    std::uint64_t ok_ = 0;
    std::uint64_t failed_ = 0;
};
