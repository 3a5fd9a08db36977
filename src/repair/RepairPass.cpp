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
const char* const kNothingFound = "No problems found.";

// Repairs and writes the presentation; returns false (with the message) for a file that is not
// a plain presentation. The shapes of every presentation at every depth are fixed, and counted,
// first; the output is created and written only when that count is above 0. Without
// `createOutput` the shapes are only counted and nothing at all is written.
bool repairInto(const std::filesystem::path& input, FixFile& fixFile,
                const std::function<TempFile&()>* createOutput, std::string& message,
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
    UnpackBudget budget(presentation.document().oleStream().size(), createOutput != nullptr);
    presentation.collectEmbeddedPresentations(fixFile, budget, list);
    for (const std::unique_ptr<EmbeddedPPT>& embedded : list) {
        embedded->fixShapes();
    }
    presentation.fixOleShapes(fixFile);
    if (createOutput != nullptr && fixFile.fixedCount() > 0) {
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            (*it)->repair();
        }
    }
    // Innermost first: nested lists refer to records of the presentations listed before them.
    while (!list.empty()) {
        list.pop_back();
    }
    if (createOutput != nullptr && fixFile.fixedCount() > 0) {
        presentation.setOutput((*createOutput)());
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

// Runs repairInto and turns what it throws into outcome 2 and a message, and a count of 0 into
// outcome 1; -1 when it found objects to repair.
int runGuarded(const std::filesystem::path& input, FixFile& fixFile,
               const std::function<TempFile&()>* createOutput, std::string& message,
               const ReadableFileOpener& openInput) {
    fixFile.reset();
    try {
        if (!repairInto(input, fixFile, createOutput, message, openInput)) {
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
        message = kNothingFound;
        return 1;
    }
    return -1;
}

}  // namespace

int RunRepairPass(const std::filesystem::path& input, FixFile& fixFile,
                  const std::function<TempFile&()>& createOutput, std::string& message,
                  const ReadableFileOpener& openInput) {
    TempFile* output = nullptr;
    const std::function<TempFile&()> createAndRemember = [&createOutput, &output]() -> TempFile& {
        output = &createOutput();
        return *output;
    };
    if (const int outcome = runGuarded(input, fixFile, &createAndRemember, message, openInput);
        outcome >= 0) {
        return outcome;
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

int RunCheckPass(const std::filesystem::path& input, FixFile& fixFile, std::string& message,
                 const ReadableFileOpener& openInput) {
    if (const int outcome = runGuarded(input, fixFile, nullptr, message, openInput); outcome >= 0) {
        return outcome;
    }
    message = "Found " + std::to_string(fixFile.fixedCount()) + " flattened embedded objects.";
    return 0;
}
