#include "repairtool/ReplaceWithRepaired.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/Env.h"
#include "repairtool/KeptOriginalName.h"
#include "repairtool/MakeBackupName.h"

namespace fs = std::filesystem;

namespace {

std::string Failed(int error) {
    if (error == PinnedFile::kChanged) {
        return "The file was changed by another program while it was being repaired. Your file "
               "has not been modified.\n";
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

// The content is overwritten in place; a complete copy of the old bytes is on disk first.
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
    fs::path kept = backup;
    if (backup.empty()) {
        // Next to the file, or in the temporary folder when its folder takes no new file.
        kept = KeptOriginalName(pinned.realPath());
        int error = pinned.copyTo(kept, false);
        if (error != 0 && error != EEXIST) {
            kept = Env::Default().tempFolder() / KeptOriginalName(pinned.realPath()).filename();
            error = pinned.copyTo(kept, false);
        }
        if (error != 0) {
            message = Failed(error);
            return false;
        }
    } else if (const int error = pinned.copyTo(backup, false)) {
        message = Failed(error);
        return false;
    }
    int error = pinned.checkUnchanged();
    bool touched = false;
    if (error == 0) {
        error = pinned.overwriteWith(repaired.file(), &touched);
    }
    if (backup.empty() && (error == 0 || !touched)) {
        Env::Default().deleteFile(kept);
    }
    if (error == 0) {
        return true;
    }
    message = touched ? "Replacing the file failed with error code " + std::to_string(error) +
                            ". Its original content is in " + kept.string() + "\n"
                      : Failed(error);
    return false;
}

}  // namespace

bool ReplaceWithRepaired(const fs::path& file, PinnedFile& pinned, TempFile& repaired,
                         bool createBackup, std::string& message) {
    const std::vector<fs::path> backupsOfItself = BackupNamesOfItself(file, pinned);
    const bool otherNames = pinned.nameCount() > 1 + backupsOfItself.size();
    const bool byRename = !otherNames && pinned.prepareReplacement(repaired.file()) == 0;
    if (const int error = pinned.checkUnchanged()) {
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
        if (const int error = pinned.checkWritable()) {
            message = Failed(error);
            return false;
        }
        return OverwriteInPlace(pinned, repaired, backup, backupsOfItself, message);
    }
    if (createBackup) {
        int error = pinned.addName(backup);
        if (error == PinnedFile::kNoLink) {
            error = pinned.copyTo(backup, false);
        }
        if (error != 0) {
            message = Failed(error);
            return false;
        }
    }
    int error = pinned.checkWritable();
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
