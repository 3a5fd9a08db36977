#pragma once

#include "errors/Exception.h"

class IOException : public Exception {
public:
    using Exception::Exception;
    std::string text() const override { return "I/O exception"; }
};
