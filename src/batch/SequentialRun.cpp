#include "batch/SequentialRun.h"

#include "batch/FileRepair.h"

bool SequentialRun::repair(const std::string& path, const FolderDescriptor&, const std::string&) {
    RepairOneFile(path, createBackup_, created_);
    return true;
}
