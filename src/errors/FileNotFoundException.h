#pragma once

#include "errors/IOException.h"

class FileNotFoundException : public IOException {
public:
    using IOException::IOException;
    std::string text() const override { return "File not found"; }
};
