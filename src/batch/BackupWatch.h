#pragma once

#include <string>
#include <vector>

#include "platform/ProcessResult.h"

class CreatedFiles;

// Tells which backup copy one repair made: the backup names of the file that are taken before
// the repair starts, compared with those taken after it ended.
class BackupWatch {
public:
    // Looks at the names now; with `createBackup` false there is nothing to watch.
    BackupWatch(const std::string& path, bool createBackup);

    // After a repair that ended with `result`: adds the backup names it took to `created`.
    void noteCreated(const ProcessResult& result, CreatedFiles& created) const;

private:
    std::vector<std::string> names_;
    std::vector<bool> takenBefore_;
};
