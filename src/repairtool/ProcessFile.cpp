#include "repairtool/ProcessFile.h"

#include <exception>
#include <memory>
#include <string>

#include "errors/FullMessage.h"
#include "platform/Env.h"
#include "platform/TerminalText.h"
#include "repair/FixFile.h"
#include "repair/RepairPass.h"
#include "repairtool/InterruptedRepair.h"
#include "repairtool/ReplaceWithRepaired.h"
#include "streams/TempFile.h"

namespace {

// The output goes next to the real file, so that it can later be renamed over it; into the
// temporary folder only when that folder takes no new file.
std::unique_ptr<TempFile> CreateOutputFile(PinnedFile& pinned) {
    std::unique_ptr<CreatedFile> beside;
    if (pinned.createBeside(TempFile::kPrefix, &beside) == 0) {
        return std::make_unique<TempFile>(std::move(beside));
    }
    return std::make_unique<TempFile>();
}

}  // namespace

// Every text that reaches the console goes through the terminal filter: messages quote paths
// and names read from the file.
int ProcessFile(const std::filesystem::path& file, bool createBackup, std::ostream& out) {
    const std::string tail = StdoutText(file.u8string()) + "\n";
    try {
        const std::unique_ptr<PinnedFile> pinned = Env::Default().pinFile(file);
        if (const std::string interrupted = InterruptedRepair(*pinned); !interrupted.empty()) {
            out << StdoutLines("[err], " + interrupted) << tail << std::flush;
            return 2;
        }
        // Made only once the pass knows that something needs repair: a run that finds nothing
        // leaves the file's folder and the temporary folder as they were.
        std::unique_ptr<TempFile> output;
        FixFile fixFile;
        std::string message;
        const int outcome = RunRepairPass(
            file, fixFile,
            [&output, &pinned]() -> TempFile& {
                output = CreateOutputFile(*pinned);
                return *output;
            },
            message,
            [&pinned](std::unique_ptr<ReadableFile>* input) { return pinned->openReader(input); });
        if (outcome == 2) {
            out << StdoutLines("[err], " + message) << tail << std::flush;
            return 2;
        }
        if (outcome == 1) {
            out << "[ok], " << tail << std::flush;
            return 1;
        }
        if (!ReplaceWithRepaired(file, *pinned, *output, createBackup, message)) {
            out << StdoutLines(message) << tail << std::flush;
            return 2;
        }
        out << "[fixed], " << tail << std::flush;
        return 0;
    } catch (const Exception& e) {
        out << StdoutLines("[err], " + FullMessage(e)) << tail << std::flush;
    } catch (const std::exception&) {
        out << "[err], An unexpected error occurred." << tail << std::flush;
    }
    return 2;
}

int CheckFile(const std::filesystem::path& file, std::ostream& out) {
    const std::string tail = StdoutText(file.string()) + "\n";
    try {
        const std::unique_ptr<PinnedFile> pinned = Env::Default().pinFile(file);
        if (const std::string interrupted = InterruptedRepair(*pinned, false);
            !interrupted.empty()) {
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
