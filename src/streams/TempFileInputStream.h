#pragma once

#include "streams/FileInputStream.h"
#include "streams/TempFile.h"

// Reads a temporary file back, through a handle of its own: it may outlive the TempFile.
class TempFileInputStream : public FileInputStream {
public:
    explicit TempFileInputStream(const TempFile& file) : FileInputStream(file.openReader()) {}
};
