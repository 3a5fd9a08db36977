#pragma once

#include "errors/Exception.h"

class OldVersionException : public Exception {
public:
    using Exception::Exception;
    std::string text() const override { return "Old version of PowerPoint"; }
};
