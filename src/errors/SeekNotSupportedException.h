#pragma once

#include "errors/IOException.h"

class SeekNotSupportedException : public IOException {
public:
    using IOException::IOException;
    std::string text() const override { return "Seek not supported for this stream type"; }
};
