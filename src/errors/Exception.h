#pragma once

#include <memory>
#include <string>

#include "errors/ErrorDetail.h"

// Base of every failure Patchdoc throws. Thrown by value, caught by reference.
// The class names the kind of failure (text()); the optional detail says why. Copies of an
// exception share one detail, which is freed once, with the last copy.
class Exception {
public:
    Exception() = default;
    explicit Exception(std::unique_ptr<ErrorDetail> detail) : detail_(std::move(detail)) {}
    virtual ~Exception() = default;

    virtual std::string text() const { return "General exception"; }
    const ErrorDetail* detail() const { return detail_.get(); }

private:
    std::shared_ptr<const ErrorDetail> detail_;
};
