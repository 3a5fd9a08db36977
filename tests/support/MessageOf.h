#pragma once

#include <functional>
#include <string>

#include "errors/Exception.h"
#include "errors/FullMessage.h"

namespace fixtures {

// The full message of the Exception that `action` throws, or "no exception".
inline std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& exception) {
        return FullMessage(exception);
    }
    return "no exception";
}

}  // namespace fixtures
