#pragma once

#include <memory>
#include <unordered_set>
#include <vector>

#include "pptformat/Document.h"
#include "pptformat/Progress.h"
#include "repair/EmbeddedObject.h"
#include "repair/PowerPointPresentation.h"
#include "repair/UnpackBudget.h"

// Finds the presentations embedded in one presentation and writes them back repaired.
class EmbeddedPPT {
public:
    // Presentations nested deeper than this are not examined (a compressed object can be forged
    // to contain itself).
    static constexpr int kMaxDepth = 32;

    EmbeddedPPT(Progress& progress, UnpackBudget& budget, int depth)
        : progress_(progress), budget_(budget), depth_(depth) {}
    EmbeddedPPT(const EmbeddedPPT&) = delete;
    EmbeddedPPT& operator=(const EmbeddedPPT&) = delete;

    // Walks the document's first external object list and opens every embedded object that is
    // a presentation; plain ones are scanned in turn, appending their own EmbeddedPPT to `list`.
    // An object that cannot be examined, or would unpack to more than the budget has left, is
    // dropped and its record keeps its stored bytes. A failure of the machine itself (no
    // temporary file, a refused read or write) is thrown instead: the pass cannot be complete.
    // `storage` is the document's compound file.
    void scan(Document& document, OLEStorage& storage, EmbeddedPPTList& list);

    // Fixes the OLE shapes of every plain embedded presentation found, one progress step each.
    // Nothing is written: the fixed shapes wait in memory for repair().
    void fixShapes();

    // Saves every embedded presentation found, last first, and packs each back into its record.
    // After fixShapes(), and only when something needs repair: it writes temporary files.
    void repair();

    std::size_t objectCount() const { return objects_.size(); }

private:
    void examine(Document& document, OLEStorage& storage, Record& exEmbed, const Record& atom,
                 EmbeddedPPTList& list);
    // Unpacks the object, whose compressed data lies at `dataOffset` of the document stream, and
    // opens it; false, with no file made, when its first bytes already show it holds no
    // presentation.
    bool open(EmbeddedObject& object, Document& document, OLEStorage& storage,
              std::uint64_t dataOffset, std::uint64_t dataLength);
    // Opens an object too large to be held in memory without writing it anywhere.
    void openInflated(EmbeddedObject& object, Document& document, OLEStorage& storage,
                      std::uint64_t dataOffset, std::uint64_t dataLength);
    // Forgets an object that cannot be examined, with everything its scan added, innermost first;
    // its record keeps its stored body.
    void drop(Record& storageRecord, EmbeddedPPTList& list, std::size_t listMark,
              std::size_t objectMark);

    Progress& progress_;
    UnpackBudget& budget_;
    int depth_;
    std::vector<std::unique_ptr<EmbeddedObject>> objects_;
    std::unordered_set<const Record*> claimed_;
};
