#pragma once

#include <memory>

#include "pptformat/Record.h"
#include "repair/PowerPointPresentation.h"
#include "streams/TempFile.h"
#include "streams/ZlibReadableFile.h"

// An embedded presentation found in an outer document: the records that describe and hold it,
// its compound file unpacked to a temporary file (or read from its stored bytes where nothing
// may be written), and that opened as a presentation.
struct EmbeddedObject {
    Record* exEmbed = nullptr;        // the ExEmbed container, owned by the outer document
    Record* storageRecord = nullptr;  // the ExOleObjStg record whose body is replaced
    std::unique_ptr<TempFile> unpacked;
    // Declared after `unpacked`, so that it is closed before that file is deleted.
    std::unique_ptr<PowerPointPresentation> presentation;
    // The presentation's input when it is inflated on demand; owned by the presentation.
    ZlibReadableFile* inflated = nullptr;
};
