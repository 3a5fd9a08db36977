#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "support/Bytes.h"
#include "support/Records.h"

class OLEStorage;
class OLEStream;

namespace bench {

// Writes a presentation into a compound file object by object, as PresentationBuilder lays it
// out, without holding the Document stream in memory: each object goes straight into the
// "PowerPoint Document" stream, and only the current edit's persist id -> offset map is kept.
// Other root streams are written afterwards, in chunks, through stream().
//
//   StreamedPresentation p(storage);
//   p.add(documentContainer(...));   // id 1, first (full) save
//   p.beginEdit();                   // an incremental save follows
//   p.set(1, documentContainer(...));
//   p.finish();                      // closes the Document stream, writes Current User
class StreamedPresentation {
public:
    explicit StreamedPresentation(OLEStorage& storage);
    ~StreamedPresentation();
    StreamedPresentation(const StreamedPresentation&) = delete;
    StreamedPresentation& operator=(const StreamedPresentation&) = delete;

    // Appends an object under the next id; returns the id.
    std::uint32_t add(const fixtures::Bytes& object);
    // Appends an object under `persistId` to the current edit.
    void set(std::uint32_t persistId, const fixtures::Bytes& object);
    // Ends the current edit (persist directory and user edit atoms) and starts the next one.
    void beginEdit();
    // Ends the last edit, completes the Document stream and writes the Current User stream.
    void finish(std::uint32_t token = fixtures::kPlainToken);

    std::uint64_t documentBytes() const { return offset_; }
    std::uint32_t nextId() const { return nextId_; }

private:
    void write(const fixtures::Bytes& bytes);
    void endEdit();

    OLEStorage& storage_;
    std::unique_ptr<OLEStream> document_;
    std::map<std::uint32_t, std::uint32_t> edit_;
    std::uint64_t offset_ = 0;
    std::uint32_t previousEdit_ = 0;
    std::uint32_t highestId_ = 0;
    std::uint32_t nextId_ = 1;
};

// Creates a root stream of the storage's output for writing. Throws std::runtime_error.
std::unique_ptr<OLEStream> createRootStream(OLEStorage& storage, const std::string& name);

}  // namespace bench
