#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "pptformat/RecordHeader.h"
#include "repair/FixFile.h"
#include "streams/TempFile.h"
#include "support/Deck.h"
#include "support/PresentationBuilder.h"

namespace fixtures {

// One repair pass over the given file bytes, in a temporary folder of its own; with `length`
// above the bytes' size, the input goes on with a hole up to that length. The pass must ask for
// its output once when it repairs and never otherwise, leave no other file behind and the input
// as it was; unless `check` is false, the check pass over the same input must agree with it.
struct PassRun {
    explicit PassRun(const Bytes& file, std::uint64_t length = 0, bool check = true);
    Bytes repaired() const { return readFile(output->path()); }

    ScratchFolder temp;
    ScopedTmpdir tmpdir{temp.path().string()};
    std::filesystem::path input = temp / "input.ppt";
    std::unique_ptr<TempFile> output;
    FixFile fixFile;
    std::string message;
    int outcome;
};

// The compound file of a presentation with one slide per shape list, and an external object
// list naming one embedded object per ExOleObjStg record given (object i has exObjId i + 1).
Bytes presentationFile(const std::vector<std::vector<Bytes>>& slides,
                       const std::vector<Bytes>& storageRecords = {});

// A stored record of a presentation file: its header and body.
struct StoredRecord {
    RecordHeader header;
    Bytes body;

    Bytes whole() const;  // the header's bytes followed by the body
};

// The top record of object `persistId` in the presentation file.
StoredRecord storedObject(const Bytes& file, std::uint32_t persistId);

// The compound file held by an ExOleObjStg record (inflated when its instance is 1).
Bytes embeddedFile(const StoredRecord& storage);

// How many flattened OLE shapes the presentation still has.
int flattenedShapes(const Bytes& file);

// The whole content of a root stream of the compound file given as bytes.
Bytes streamOf(const Bytes& file, const std::string& name);

}  // namespace fixtures
