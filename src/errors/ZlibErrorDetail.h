#pragma once

#include "errors/ErrorDetail.h"

// A zlib return code, shown by name ("zlib(Z_DATA_ERROR)") with zlib's message when it gave one.
class ZlibErrorDetail : public ErrorDetail {
public:
    ZlibErrorDetail(std::string message, std::int32_t result)
        : result_(result), message_(std::move(message)) {}
    std::int32_t code() const override { return result_; }
    std::string text() const override;

private:
    std::int32_t result_;
    std::string message_;
};
