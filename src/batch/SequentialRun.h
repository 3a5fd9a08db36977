#pragma once

#include "batch/CreatedFiles.h"
#include "batch/RepairRun.h"

// One child at a time, sharing the console, each file logged before the walk goes on.
class SequentialRun : public RepairRun {
public:
    explicit SequentialRun(bool createBackup) : createBackup_(createBackup) {}

    bool repair(const std::string& path, const FolderDescriptor& folder,
                const std::string& name) override;
    bool created(const std::string& path) const override { return created_.contains(path); }
    void finish() override {}
    bool interrupted() const override { return false; }

private:
    bool createBackup_;
    CreatedFiles created_;
};
