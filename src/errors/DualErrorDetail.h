#pragma once

#include <memory>

#include "errors/ErrorDetail.h"

// Two details reported together, as "[first,second]".
class DualErrorDetail : public ErrorDetail {
public:
    DualErrorDetail(std::unique_ptr<ErrorDetail> first, std::unique_ptr<ErrorDetail> second)
        : first_(std::move(first)), second_(std::move(second)) {}
    std::int32_t code() const override { return 0; }
    std::string text() const override { return "[" + first_->text() + "," + second_->text() + "]"; }

private:
    std::unique_ptr<ErrorDetail> first_;
    std::unique_ptr<ErrorDetail> second_;
};
