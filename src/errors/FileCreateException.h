#pragma once

#include "errors/IOException.h"

class FileCreateException : public IOException {
public:
    using IOException::IOException;
    std::string text() const override { return "File creation failed"; }
};
