#pragma once

#include <cstdint>

#include "errors/ErrorDetail.h"

// A structured-storage style result code, shown as "HRESULT(<hex>)", the system's text for
// codes that wrap an operating-system error number, and an optional message.
class HRESULTErrorDetail : public ErrorDetail {
public:
    HRESULTErrorDetail(std::uint32_t result, std::string message)
        : result_(result), message_(std::move(message)) {}
    std::int32_t code() const override { return static_cast<std::int32_t>(result_); }
    std::string text() const override;

    // Wraps an operating-system error number the way the storage service does (facility 7).
    static std::uint32_t fromErrorNumber(int errorNumber);

private:
    std::uint32_t result_;
    std::string message_;
};
