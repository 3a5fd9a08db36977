#pragma once

#include "errors/Exception.h"

class OLEStorageException : public Exception {
public:
    using Exception::Exception;
    std::string text() const override { return "OLE storage exception"; }
};
