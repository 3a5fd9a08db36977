#pragma once

#include "errors/IOException.h"

class TempFileCreationException : public IOException {
public:
    using IOException::IOException;
    std::string text() const override { return "Temporary file creation failed"; }
};
