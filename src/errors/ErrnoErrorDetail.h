#pragma once

#include "errors/ErrorDetail.h"

// A C runtime / POSIX error number, shown as "errno(N) - <system description>".
class ErrnoErrorDetail : public ErrorDetail {
public:
    explicit ErrnoErrorDetail(std::int32_t errorNumber) : errorNumber_(errorNumber) {}
    std::int32_t code() const override { return errorNumber_; }
    std::string text() const override;

private:
    std::int32_t errorNumber_;
};
