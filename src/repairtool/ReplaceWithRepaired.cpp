#include "repairtool/ReplaceWithRepaired.h"

#include <algorithm>
#include <vector>

#include "platform/Env.h"
#include "platform/ReadableFile.h"
#include "repairtool/FileContent.h"
#include "repairtool/KeptOriginalNames.h"
#include "repairtool/MakeBackupName.h"

namespace fs = std::filesystem;

namespace {

std::string Failed(int error) {
    if (error == PinnedFile::kChanged) {
        return "The file was changed by another program while it was being repaired. Your file "
               "has not been modified.\n";
    }
    if (error == PinnedFile::kInUse) {
        return "The file is in use by another program. Your file has not been modified.\n";
    }
    if (error == CreatedFile::kNameTaken) {
        return "Another program put a file in the place of the repaired one while the file was "
               "being repaired. Your file has not been modified.\n";
    }
    return "Backup failed with error code " + std::to_string(error) +
           ". Your file has not been modified.\n";
}

// Backup names that are further names of the file itself: what a run stopped between giving
// the original its backup name and renaming the repaired file over it leaves behind.
// Backups go next to the path as given, and a link's target may have backups of its own.
std::vector<fs::path> BackupNamesOfItself(const fs::path& file, PinnedFile& pinned) {
    std::vector<fs::path> names;
    for (const fs::path& original : {fs::absolute(file), pinned.realPath()}) {
        for (const fs::path& candidate : BackupCandidates(original)) {
            if (std::find(names.begin(), names.end(), candidate) == names.end() &&
                pinned.isNamedBy(candidate)) {
                names.push_back(candidate);
            }
        }
    }
    return names;
}

// Without a backup, a copy of the original kept for the time of the overwrite: beside the file,
// else under the first free name in the temporary folder (a taken one may be the copy of another
// file of the same name). On failure returns the first error.
int KeepOriginal(PinnedFile& pinned, const std::string& note, PinnedFile::MarkedCopy* copy) {
    const std::vector<fs::path> names =
        KeptOriginalNames(pinned.realPath(), Env::Default().tempFolder());
    int firstError = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (Env::Default().pathExists(names[i])) {
            continue;
        }
        const int error = pinned.keepCopy(names[i], PinnedFile::CopyKind::Kept, note);
        if (error == 0) {
            copy->path = names[i];
            return 0;
        }
        firstError = firstError != 0 ? firstError : error;
        if (i > 0) {
            break;  // the temporary folder takes none either
        }
    }
    // With every name taken, the system's own refusal (made before anything is copied).
    return firstError != 0 ? firstError
                           : pinned.keepCopy(names.front(), PinnedFile::CopyKind::Kept, note);
}

// The content is overwritten in place; a complete copy of the old bytes, marked as the file's,
// is on disk first and stays there whenever the overwrite was cut short or another program
// opened the file meanwhile.
bool OverwriteInPlace(PinnedFile& pinned, TempFile& repaired, const fs::path& backup,
                      const std::vector<fs::path>& backupsOfItself, std::string& message) {
    // A backup that is a second name of the file would be overwritten with it: it gets its own
    // copy of the bytes first.
    for (const fs::path& name : backupsOfItself) {
        if (const int error = pinned.copyTo(name, true)) {
            message = Failed(error);
            return false;
        }
    }
    // What the file holds once the overwrite is complete, for a later run to recognise.
    const std::string note = ContentDigest(*repaired.openReader());
    PinnedFile::MarkedCopy copy;
    copy.path = backup;
    copy.kind = backup.empty() ? PinnedFile::CopyKind::Kept : PinnedFile::CopyKind::Backup;
    int error = backup.empty() ? KeepOriginal(pinned, note, &copy)
                               : pinned.keepCopy(backup, copy.kind, note);
    if (error != 0) {
        message = Failed(error);
        return false;
    }
    error = pinned.checkUnchanged();
    bool touched = false;
    if (error == 0) {
        error = pinned.overwriteWith(repaired.file(), &touched);
    }
    if (error == 0 && pinned.openedMeanwhile()) {
        message =
            "Another program opened the file while it was being overwritten and may have "
            "changed it. Its original content is in " +
            copy.path.u8string() + "\n";
        return false;
    }
    if (error == 0 || !touched) {
        pinned.forgetCopy(copy);
    }
    if (error == 0) {
        return true;
    }
    message = touched ? "Replacing the file failed with error code " + std::to_string(error) +
                            ". Its original content is in " + copy.path.u8string() + "\n"
                      : Failed(error);
    return false;
}

// Ends the hold on the file on every way out of the replacement.
class HoldRelease {
public:
    explicit HoldRelease(PinnedFile& pinned) : pinned_(pinned) {}
    HoldRelease(const HoldRelease&) = delete;
    HoldRelease& operator=(const HoldRelease&) = delete;
    ~HoldRelease() { pinned_.letGo(); }

private:
    PinnedFile& pinned_;
};

}  // namespace

bool ReplaceWithRepaired(const fs::path& file, PinnedFile& pinned, TempFile& repaired,
                         bool createBackup, std::string& message) {
    const std::vector<fs::path> backupsOfItself = BackupNamesOfItself(file, pinned);
    const bool otherNames = pinned.nameCount() > 1 + backupsOfItself.size();
    const bool byRename = !otherNames && pinned.prepareReplacement(repaired.file()) == 0;
    // From here to the end no other program gets at the file; one that has it open now makes it
    // "in use", and nothing is replaced.
    const HoldRelease release(pinned);
    int error = pinned.holdExclusively();
    if (error == 0) {
        error = pinned.checkUnchanged();
    }
    if (error != 0) {
        message = Failed(error);
        return false;
    }
    fs::path backup;
    if (createBackup) {
        backup = MakeBackupName(file);
        if (backup.empty()) {
            message =
                "Could not generate a suitable backup file name. Your file has not been "
                "modified.\n";
            return false;
        }
    }
    if (!byRename) {
        error = pinned.checkWritable();
        if (error != 0) {
            message = Failed(error);
            return false;
        }
        return OverwriteInPlace(pinned, repaired, backup, backupsOfItself, message);
    }
    if (createBackup) {
        error = pinned.addName(backup);
        if (error == PinnedFile::kNoLink) {
            error = pinned.copyTo(backup, false);
        }
        if (error != 0) {
            message = Failed(error);
            return false;
        }
    }
    error = pinned.checkWritable();
    if (error == 0) {
        error = pinned.renameOver(repaired.file());
    }
    if (error != 0) {
        message = Failed(error);
        return false;
    }
    repaired.release();
    return true;
}
