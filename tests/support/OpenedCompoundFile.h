#pragma once

#include <string>
#include <vector>

#include "streams/OLEStorage.h"
#include "streams/TempFile.h"
#include "support/PresentationBuilder.h"

namespace fixtures {

// A compound file written with the given root streams to a temporary file and opened as the
// input root of `storage`.
struct OpenedCompoundFile {
    explicit OpenedCompoundFile(const std::vector<NamedStream>& streams) {
        writeCompoundFile(file.path(), streams);
        storage.open(file.path());
    }

    TempFile file;
    OLEStorage storage;
};

}  // namespace fixtures
