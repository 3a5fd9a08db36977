#pragma once

#include <exception>
#include <functional>
#include <string>

#include "errors/Exception.h"
#include "errors/FullMessage.h"

namespace fixtures {

// The full message of the Exception that `action` throws, "std::exception: " and the text of
// another exception, or "no exception".
inline std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& exception) {
        return FullMessage(exception);
    } catch (const std::exception& exception) {
        return std::string("std::exception: ") + exception.what();
    }
    return "no exception";
}

}  // namespace fixtures
