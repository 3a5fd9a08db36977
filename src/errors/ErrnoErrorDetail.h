#pragma once

#include "errors/ErrorDetail.h"

// An error number of the system's file functions (errno on POSIX, GetLastError on Windows),
// shown as "errno(N) - <the system's description>".
class ErrnoErrorDetail : public ErrorDetail {
public:
    explicit ErrnoErrorDetail(std::int32_t errorNumber) : errorNumber_(errorNumber) {}
    std::int32_t code() const override { return errorNumber_; }
    std::string text() const override;

private:
    std::int32_t errorNumber_;
};
