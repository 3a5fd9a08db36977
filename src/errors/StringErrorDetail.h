#pragma once

#include <string>

#include "errors/ErrorDetail.h"

class StringErrorDetail : public ErrorDetail {
public:
    explicit StringErrorDetail(std::string message) : message_(std::move(message)) {}
    std::int32_t code() const override { return 0; }
    std::string text() const override { return message_; }

private:
    std::string message_;
};
