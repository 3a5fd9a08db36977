#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "batch/BackupWatch.h"
#include "batch/CreatedFiles.h"
#include "batch/FileRepair.h"
#include "batch/RepairRun.h"
#include "platform/ChildProcesses.h"
#include "platform/FileIdentity.h"

// Up to a number of children at once, each with its standard output on a pipe. A child's output
// goes to the console in one piece when it ends (whole lines, never mixed with another child's),
// then its log line; so lines come in the order the children end. Two names of one file (hard
// links) are never repaired at once: the second waits for the first. After the console's
// interrupt (Ctrl-C) no child is started any more; the running ones end undisturbed and are
// logged.
class ParallelRun : public RepairRun {
public:
    ParallelRun(RepairSettings settings, std::size_t slots);

    bool repair(const std::string& path, const FolderDescriptor& folder,
                const std::string& name) override;
    bool created(const std::string& path) const override { return created_.contains(path); }
    void finish() override;
    bool interrupted() const override { return children_->interrupted(); }

private:
    struct Running {
        std::string path;
        std::optional<FileIdentity> identity;
        BackupWatch backups;
        std::string output;     // not yet written to the console
        std::string firstLine;  // Patchdoc's result line, once complete
    };

    // Waits for what the children do next and handles it.
    void handleEvents();
    void ended(Running& child, const ProcessResult& result);

    RepairSettings settings_;
    std::size_t slots_;
    std::unique_ptr<ChildProcesses> children_;
    std::unordered_map<ChildProcesses::Id, Running> running_;
    std::unordered_set<FileIdentity> busy_;
    CreatedFiles created_;
};
