#include "errors/ZlibErrorDetail.h"

namespace {
std::string codeName(std::int32_t result) {
    switch (result) {
        case -2:
            return "Z_STREAM_ERROR";
        case -3:
            return "Z_DATA_ERROR";
        case -4:
            return "Z_MEM_ERROR";
        case -5:
            return "Z_BUF_ERROR";
        case -6:
            return "Z_VERSION_ERROR";
        default:
            return std::to_string(result);
    }
}
}  // namespace

std::string ZlibErrorDetail::text() const {
    std::string out = "zlib(" + codeName(result_) + ")";
    if (!message_.empty()) {
        out += " - " + message_;
    }
    return out;
}
