#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pptformat/PersistDirectory.h"
#include "pptformat/Progress.h"
#include "pptformat/PropertyRecord.h"
#include "pptformat/Record.h"
#include "pptformat/Stream.h"
#include "pptformat/UserEdit.h"

// The "PowerPoint Document" stream. Loading follows the user edits from the newest one, merges
// their persist directories, reads every persisted object's records into one flat list and
// collects the shape property tables. Saving writes every persisted object once, in ascending id
// order, then one persist directory atom and one user edit atom: a single full save.
class Document : public Stream {
public:
    // Opens the stream of the storage's input root; nothing is read yet.
    explicit Document(OLEStorage& storage);

    // Loads from the user edit at `offsetToCurrentEdit`. Returns false when the first persisted
    // object is not a Document container. Format errors throw IOException; an empty persist
    // directory throws std::out_of_range.
    bool load(std::uint32_t offsetToCurrentEdit);

    RecordList& records() { return records_; }
    PersistDirectory& persistDirectory();

    // Clears the OLE shape flag of every shape whose property table has no pictureId, one
    // progress step each. Always true.
    bool fixOleShapes(Progress& progress);

    // The size of the saved stream up to its user edit atom; computed once, after the repairs.
    // Throws IOException when it does not fit 32 bits.
    std::uint32_t persistedSize();

    // Writes the new stream into the storage's output root.
    void save(OLEStorage& storage);

private:
    UserEdit readUserEdit(std::uint32_t offset);
    void readPersistDirectory(std::uint32_t start);
    bool firstObjectIsDocument();
    void loadRecords();
    void checkContainers();
    void loadPropertyRecords();
    std::uint64_t writeObject(OutputStream& out, PersistEntry& entry);

    std::uint32_t persistedSizeCache_ = 0;
    std::uint32_t directoryOffset_ = 0;
    std::unique_ptr<PersistDirectory> persistDirectory_;
    RecordList records_;
    std::vector<std::unique_ptr<PropertyRecord>> propertyRecords_;
    std::unique_ptr<UserEdit> userEdit_;
};
