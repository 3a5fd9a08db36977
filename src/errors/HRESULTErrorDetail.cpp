#include "errors/HRESULTErrorDetail.h"

#include <cstdio>

#include "platform/Env.h"

namespace {
constexpr std::uint32_t kFacilityMask = 0x1FFF0000;
constexpr std::uint32_t kFacilitySystem = 7;
}  // namespace

std::uint32_t HRESULTErrorDetail::fromErrorNumber(int errorNumber) {
    if (errorNumber <= 0) {
        return static_cast<std::uint32_t>(errorNumber);
    }
    return (static_cast<std::uint32_t>(errorNumber) & 0xFFFF) | 0x80070000;
}

std::string HRESULTErrorDetail::text() const {
    std::string systemPart;
    if (((result_ & kFacilityMask) >> 16) == kFacilitySystem) {
        const std::string systemText = Env::Default().errorText(static_cast<int>(result_ & 0xFFFF));
        if (!systemText.empty()) {
            systemPart = " - " + systemText;
        }
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(result_));
    std::string out = "HRESULT(" + std::string(hex) + ")" + systemPart;
    if (!message_.empty()) {
        out += " - " + message_;
    }
    return out;
}
