#pragma once

#include "errors/OLEStorageException.h"

class OLEStorageNotStorageException : public OLEStorageException {
public:
    using OLEStorageException::OLEStorageException;
    std::string text() const override { return "The file exists but is not a storage object"; }
};
