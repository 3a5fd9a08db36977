#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "pptformat/CurrentUser.h"
#include "pptformat/Document.h"
#include "pptformat/Progress.h"
#include "repair/UnpackBudget.h"
#include "streams/CompoundFile.h"

class EmbeddedPPT;
using EmbeddedPPTList = std::vector<std::unique_ptr<EmbeddedPPT>>;

// One presentation opened for repair: the input compound file, read only, and the temporary
// file the repaired presentation is written to (setOutput()). The input is never written.
class PowerPointPresentation : public CompoundFile {
public:
    // Opens the input, refuses files of older PowerPoint versions, reads the Current User atom,
    // tells plain, encrypted and non-PowerPoint files apart and loads a plain presentation's
    // document. Throws on every failure.
    // With `openInput` the input is opened through it instead of by its path.
    explicit PowerPointPresentation(std::filesystem::path inputPath,
                                    const ReadableFileOpener& openInput = {});
    // The same for an input already at hand; `inputName` stands for it in messages.
    PowerPointPresentation(std::unique_ptr<ReadableFile> input, std::filesystem::path inputName);
    ~PowerPointPresentation() override;

    bool isPowerPoint() const { return isPowerPoint_; }
    // Encrypted, or its document's first object is not a Document container.
    bool isEncrypted() const { return isEncrypted_; }

    // Appends an EmbeddedPPT for this presentation to `list`, then scans the document, which
    // appends those of all presentations embedded in it, depth first. Only for plain
    // presentations. `depth` counts the presentations this one is embedded in; what they unpack
    // to is taken from `budget`.
    void collectEmbeddedPresentations(Progress& progress, UnpackBudget& budget,
                                      EmbeddedPPTList& list, int depth = 0);

    // The OLE shape fix of the document; always true.
    bool fixOleShapes(Progress& progress);

    // Writes the whole presentation to the output file: the two presentation streams rewritten,
    // every other element of the input copied.
    void save();

    // Completes the output file on disk. Throws when that fails; the output must then not be used.
    void commit();

    Document& document() { return *document_; }

private:
    void examine();
    void releaseStreams();

    std::unique_ptr<CurrentUser> currentUser_;
    std::unique_ptr<Document> document_;
    bool isEncrypted_ = false;
    bool isPowerPoint_ = false;
};
