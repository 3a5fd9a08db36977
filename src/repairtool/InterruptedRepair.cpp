#include "repairtool/InterruptedRepair.h"

#include <memory>

#include "platform/Env.h"
#include "platform/PinnedFile.h"
#include "platform/ReadableFile.h"
#include "repairtool/FileContent.h"
#include "repairtool/KeptOriginalNames.h"

namespace {

// True when the file, as it is now, needs its copy no longer.
bool CopyIsNotNeeded(PinnedFile& pinned, const PinnedFile::MarkedCopy& copy) {
    if (copy.fileUnchanged) {
        return true;
    }
    std::unique_ptr<ReadableFile> file;
    std::unique_ptr<ReadableFile> original;
    if (pinned.openReader(&file) != 0) {
        return false;
    }
    if (Env::Default().openReadable(copy.path, &original) == 0 && SameContent(*file, *original)) {
        return true;  // put back
    }
    return !copy.note.empty() && ContentDigest(*file) == copy.note;  // completely overwritten
}

}  // namespace

std::string InterruptedRepair(PinnedFile& pinned, bool forget) {
    PinnedFile::MarkedCopy copy;
    if (!pinned.findCopy(KeptOriginalNames(pinned.realPath(), Env::Default().tempFolder()),
                         &copy)) {
        return std::string();
    }
    if (CopyIsNotNeeded(pinned, copy)) {
        if (forget) {
            pinned.forgetCopy(copy);
        }
        return std::string();
    }
    return "An earlier repair of this file was interrupted; its original content is in " +
           copy.path.u8string() +
           ". Put that file back in place of this one, or delete it, and run again. ";
}
