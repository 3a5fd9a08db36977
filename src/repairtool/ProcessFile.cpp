#include "repairtool/ProcessFile.h"

#include <exception>
#include <memory>
#include <string>

#include "errors/FullMessage.h"
#include "errors/TempFileCreationException.h"
#include "platform/Env.h"
#include "platform/TerminalText.h"
#include "repair/FixFile.h"
#include "repair/RepairPass.h"
#include "repairtool/KeptOriginalName.h"
#include "repairtool/ReplaceWithRepaired.h"
#include "streams/TempFile.h"

namespace {

// The output goes next to the real file, so that it can later be renamed over it; into the
// temporary folder only when that folder takes no new file.
std::unique_ptr<TempFile> CreateOutputFile(const PinnedFile& pinned) {
    try {
        return std::make_unique<TempFile>(pinned.realPath().parent_path());
    } catch (const TempFileCreationException&) {
        return std::make_unique<TempFile>();
    }
}

// Set when an earlier run was stopped while it overwrote the file in place.
std::string InterruptedRepair(const PinnedFile& pinned) {
    std::filesystem::path kept = KeptOriginalName(pinned.realPath());
    if (!Env::Default().pathExists(kept)) {
        kept = Env::Default().tempFolder() / kept.filename();
        if (!Env::Default().pathExists(kept)) {
            return std::string();
        }
    }
    return "An earlier repair of this file was interrupted; its original content is in " +
           StdoutText(kept.string()) +
           ". Put that file back in place of this one, or delete it, and run again. ";
}

}  // namespace

int ProcessFile(const std::filesystem::path& file, bool createBackup, std::ostream& out) {
    const std::string tail = StdoutText(file.string()) + "\n";
    try {
        const std::unique_ptr<PinnedFile> pinned = Env::Default().pinFile(file);
        if (const std::string interrupted = InterruptedRepair(*pinned); !interrupted.empty()) {
            out << "[err], " << interrupted << tail << std::flush;
            return 2;
        }
        // Made only once the pass knows that something needs repair: a run that finds nothing
        // leaves the file's folder and the temporary folder as they were.
        std::unique_ptr<TempFile> output;
        FixFile fixFile;
        std::string message;
        const int outcome = RunRepairPass(
            file, fixFile,
            [&output, &pinned] {
                output = CreateOutputFile(*pinned);
                return output->path();
            },
            message,
            [&pinned](std::unique_ptr<ReadableFile>* input) { return pinned->openReader(input); });
        if (outcome == 2) {
            out << "[err], " << message << tail << std::flush;
            return 2;
        }
        if (outcome == 1) {
            out << "[ok], " << tail << std::flush;
            return 1;
        }
        if (!ReplaceWithRepaired(file, *pinned, *output, createBackup, message)) {
            out << message << tail << std::flush;
            return 2;
        }
        out << "[fixed], " << tail << std::flush;
        return 0;
    } catch (const Exception& e) {
        out << "[err], " << FullMessage(e) << tail << std::flush;
    } catch (const std::exception&) {
        out << "[err], An unexpected error occurred." << tail << std::flush;
    }
    return 2;
}

int CheckFile(const std::filesystem::path& file, std::ostream& out) {
    const std::string tail = StdoutText(file.string()) + "\n";
    try {
        const std::unique_ptr<PinnedFile> pinned = Env::Default().pinFile(file);
        if (const std::string interrupted = InterruptedRepair(*pinned); !interrupted.empty()) {
            out << "[err], " << interrupted << tail << std::flush;
            return 2;
        }
        FixFile fixFile;
        std::string message;
        const int outcome = RunCheckPass(
            file, fixFile, message,
            [&pinned](std::unique_ptr<ReadableFile>* input) { return pinned->openReader(input); });
        if (outcome == 2) {
            out << "[err], " << message << tail << std::flush;
        } else if (outcome == 1) {
            out << "[ok], " << tail << std::flush;
        } else {
            out << "[flattened " << fixFile.fixedCount() << "], " << tail << std::flush;
        }
        return outcome;
    } catch (const Exception& e) {
        out << "[err], " << FullMessage(e) << tail << std::flush;
    } catch (const std::exception&) {
        out << "[err], An unexpected error occurred." << tail << std::flush;
    }
    return 2;
}
