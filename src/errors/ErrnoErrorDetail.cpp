#include "errors/ErrnoErrorDetail.h"

#include "platform/Env.h"

std::string ErrnoErrorDetail::text() const {
    return "errno(" + std::to_string(errorNumber_) + ") - " +
           Env::Default().errorText(errorNumber_);
}
