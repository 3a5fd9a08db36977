#pragma once

#include "errors/Exception.h"

class PropertySizeException : public Exception {
public:
    using Exception::Exception;
    std::string text() const override { return "Property record size exception"; }
};
