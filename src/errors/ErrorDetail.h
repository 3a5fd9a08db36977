#pragma once

#include <cstdint>
#include <string>

// Why a failure happened: a text, an error number, a result code, or a pair of details.
// Details are immutable once built and are shared by copies of the exception that carries them.
class ErrorDetail {
public:
    virtual ~ErrorDetail() = default;
    virtual std::int32_t code() const = 0;
    virtual std::string text() const = 0;
};
