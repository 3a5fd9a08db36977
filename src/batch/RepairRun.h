#pragma once

#include <string>

class FolderDescriptor;

// Where the walk hands the presentation files it finds: a run of Patchdoc children, one at a
// time or several at once.
class RepairRun {
public:
    virtual ~RepairRun() = default;

    // Repairs one file, now or once a child is free: `path` as the log shows it, `name` its entry
    // in `folder`. Returns false once the run takes no more files (it was interrupted); the walk
    // then ends.
    virtual bool repair(const std::string& path, const FolderDescriptor& folder,
                        const std::string& name) = 0;

    // True for a file this run created itself (a backup copy), which is never repaired.
    virtual bool created(const std::string& path) const = 0;

    // Waits for every repair still running and logs it.
    virtual void finish() = 0;

    // True when the run stopped taking files because it was interrupted.
    virtual bool interrupted() const = 0;
};
