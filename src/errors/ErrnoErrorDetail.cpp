#include "errors/ErrnoErrorDetail.h"

#include <cstring>

// The number is the C runtime's, so the C runtime describes it (not the system's message table,
// whose numbers differ on some systems).
std::string ErrnoErrorDetail::text() const {
    return "errno(" + std::to_string(errorNumber_) + ") - " + std::strerror(errorNumber_);
}
