#include "repair/RepairPass.h"

#include <functional>
#include <memory>

#include "errors/FullMessage.h"
#include "errors/OLEStorageNotStorageException.h"
#include "errors/StringErrorDetail.h"
#include "repair/EmbeddedPPT.h"
#include "repair/PowerPointPresentation.h"
#include "streams/TempFile.h"

namespace {

const char* const kNotPowerPoint =
    "The selected file is not a PowerPoint 97-2003 PPT file. This tool can only repair PPT files.";
const char* const kEncrypted = "This tool cannot repair encrypted or password-protected files.";
const char* const kUnexpected = "An unexpected error occurred.";

// Repairs and writes the presentation; returns false (with the message) for a file that is not
// a plain presentation. The shapes of every presentation at every depth are fixed, and counted,
// first; the output is created and written only when that count is above 0.
bool repairInto(const std::filesystem::path& input, FixFile& fixFile,
                const std::function<TempFile&()>& createOutput, std::string& message,
                const ReadableFileOpener& openInput) {
    PowerPointPresentation presentation(input, openInput);
    if (!presentation.isPowerPoint()) {
        message = kNotPowerPoint;
        return false;
    }
    if (presentation.isEncrypted()) {
        message = kEncrypted;
        return false;
    }
    EmbeddedPPTList list;
    // Measured by the stream that holds the embedded objects, not by the file's length, which
    // a hole can make as large as anyone likes.
    UnpackBudget budget(presentation.document().oleStream().size());
    presentation.collectEmbeddedPresentations(fixFile, budget, list);
    for (const std::unique_ptr<EmbeddedPPT>& embedded : list) {
        embedded->fixShapes();
    }
    presentation.fixOleShapes(fixFile);
    if (fixFile.fixedCount() > 0) {
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            (*it)->repair();
        }
    }
    // Innermost first: nested lists refer to records of the presentations listed before them.
    while (!list.empty()) {
        list.pop_back();
    }
    if (fixFile.fixedCount() > 0) {
        presentation.setOutput(createOutput());
        presentation.save();
        presentation.commit();
    }
    return true;
}

// Reads the written output back as a presentation, so that a defective output never replaces
// the original. Throws what the reading throws.
void verify(const TempFile& output) {
    PowerPointPresentation written(output.openReader(), output.path());
    if (!written.isPowerPoint() || written.isEncrypted()) {
        throw Exception(std::make_unique<StringErrorDetail>("Not a PowerPoint presentation"));
    }
}

}  // namespace

int RunRepairPass(const std::filesystem::path& input, FixFile& fixFile,
                  const std::function<TempFile&()>& createOutput, std::string& message,
                  const ReadableFileOpener& openInput) {
    fixFile.reset();
    TempFile* output = nullptr;
    const auto createAndRemember = [&createOutput, &output]() -> TempFile& {
        output = &createOutput();
        return *output;
    };
    try {
        if (!repairInto(input, fixFile, createAndRemember, message, openInput)) {
            return 2;
        }
    } catch (const OLEStorageNotStorageException&) {
        message = kNotPowerPoint;
        return 2;
    } catch (const Exception& e) {
        message = FullMessage(e);
        return 2;
    } catch (...) {
        message = kUnexpected;
        return 2;
    }
    if (fixFile.fixedCount() <= 0) {
        message = "No problems found.";
        return 1;
    }
    try {
        verify(*output);
    } catch (const Exception& e) {
        message = "Verification of the repaired file failed [" + FullMessage(e) + "]";
        return 2;
    } catch (...) {
        message = "Verification of the repaired file failed";
        return 2;
    }
    message = "Successfully fixed " + std::to_string(fixFile.fixedCount()) +
              " flattened embedded objects.";
    return 0;
}
