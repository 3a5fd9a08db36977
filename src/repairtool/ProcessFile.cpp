#include "repairtool/ProcessFile.h"

#include <exception>
#include <memory>
#include <string>

#include "errors/FullMessage.h"
#include "errors/TempFileCreationException.h"
#include "repair/FixFile.h"
#include "repair/RepairPass.h"
#include "repairtool/RealFilePath.h"
#include "repairtool/ReplaceWithRepaired.h"
#include "streams/TempFile.h"

namespace {

// The output goes next to the real file, so that it can later be renamed over it; into the
// temporary folder only when that folder takes no new file.
std::unique_ptr<TempFile> CreateOutputFile(const std::filesystem::path& file) {
    try {
        return std::make_unique<TempFile>(RealFilePath(file).parent_path());
    } catch (const TempFileCreationException&) {
        return std::make_unique<TempFile>();
    }
}

}  // namespace

int ProcessFile(const std::filesystem::path& file, bool createBackup, std::ostream& out) {
    const std::string tail = file.string() + "\n";
    try {
        // Made only once the pass knows that something needs repair: a run that finds nothing
        // leaves the file's folder and the temporary folder as they were.
        std::unique_ptr<TempFile> output;
        FixFile fixFile;
        std::string message;
        const int outcome = RunRepairPass(
            file, fixFile,
            [&output, &file] {
                output = CreateOutputFile(file);
                return output->path();
            },
            message);
        if (outcome == 2) {
            out << "[err], " << message << tail << std::flush;
            return 2;
        }
        if (outcome == 1) {
            out << "[ok], " << tail << std::flush;
            return 1;
        }
        if (!ReplaceWithRepaired(file, *output, createBackup, message)) {
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
