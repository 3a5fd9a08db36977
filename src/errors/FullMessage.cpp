#include "errors/FullMessage.h"

std::string FullMessage(const Exception& exception) {
    std::string message = exception.text();
    if (const ErrorDetail* detail = exception.detail()) {
        message += " [" + detail->text() + "]";
    }
    return message;
}
