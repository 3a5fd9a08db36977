#include "repairtool/ReplaceWithRepaired.h"

#include <optional>

#include "errors/TempFileCreationException.h"
#include "platform/Env.h"
#include "repairtool/MakeBackupName.h"
#include "repairtool/RealFilePath.h"

namespace fs = std::filesystem;

namespace {

std::string BackupFailed(int error) {
    return "Backup failed with error code " + std::to_string(error) +
           ". Your file has not been modified.\n";
}

// Moves the repaired bytes into the place of `realFile` by renaming a complete file in its
// folder over it. Falls back to overwriting `realFile` in place, setting `overwritten`, only
// when renaming would split it from its other hard-link names or the folder takes no new file.
int Install(const fs::path& realFile, TempFile& repaired, bool& overwritten) {
    Env& env = Env::Default();
    overwritten = false;
    if (!env.hasOtherNames(realFile)) {
        const fs::path folder = realFile.parent_path();
        // The complete file to rename: the repaired one, or a copy of it staged in the folder.
        TempFile* complete = &repaired;
        std::optional<TempFile> staged;
        if (repaired.path().parent_path() != folder) {
            try {
                staged.emplace(folder);
            } catch (const TempFileCreationException&) {
                // The folder takes no new file: overwrite in place below.
            }
            complete = staged ? &*staged : nullptr;
            if (complete != nullptr) {
                if (const int error = env.copyFile(repaired.path(), complete->path(), false)) {
                    return error;
                }
            }
        }
        if (complete != nullptr) {
            const int error = env.replaceFile(realFile, complete->path());
            if (error == 0) {
                complete->release();
            }
            return error;
        }
    }
    overwritten = true;
    return env.copyFile(repaired.path(), realFile, false);
}

}  // namespace

bool ReplaceWithRepaired(const fs::path& file, TempFile& repaired, bool createBackup,
                         std::string& message) {
    Env& env = Env::Default();
    fs::path backup;
    if (createBackup) {
        backup = MakeBackupName(file);
        if (backup.empty()) {
            message =
                "Could not generate a suitable backup file name. Your file has not been "
                "modified.\n";
            return false;
        }
        if (const int error = env.copyFile(file, backup, true)) {
            message = BackupFailed(error);
            return false;
        }
    }
    bool overwritten = false;
    int error = env.checkWritable(file);
    if (error == 0) {
        error = Install(RealFilePath(file), repaired, overwritten);
    }
    if (error == 0) {
        return true;
    }
    // A backup of a file that stayed as it was would only pile up over repeated runs.
    if (!backup.empty() && !overwritten) {
        env.deleteFile(backup);
    }
    message = BackupFailed(error);
    return false;
}
