#pragma once

#include "errors/OLEStorageException.h"

class OLEStorageSharingException : public OLEStorageException {
public:
    using OLEStorageException::OLEStorageException;
    std::string text() const override { return "OLE storage sharing violation"; }
};
