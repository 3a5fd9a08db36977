#include "batch/DirectoryWalk.h"

#include <algorithm>
#include <boost/filesystem.hpp>
#include <exception>
#include <iostream>

#include "batch/BackupNames.h"
#include "batch/FileRepair.h"
#include "batch/RepairRun.h"
#include "platform/Env.h"
#include "platform/FolderDescriptor.h"
#include "platform/SystemConventions.h"
#include "platform/TerminalText.h"

namespace bfs = boost::filesystem;

namespace {

// A folder being walked: held open, with its path as shown in the log, its whole listing and
// the next entry to handle. Each level is reached from the one above by its name alone, so no
// path is ever longer than one name, however deep the tree.
struct OpenFolder {
    FolderDescriptor folder;
    std::string path;
    std::vector<FolderDescriptor::Entry> entries;
    std::size_t next = 0;
};

void ReportProblem(const std::string& argument, const std::string& text) {
    std::cout << "A problem occurred parsing the following directory: " << StdoutText(argument)
              << '\n';
    if (!text.empty()) {
        std::cout << StdoutText(text) << '\n';
    }
    std::cout.flush();
}

// The failed operation, the system's description of the error and the path, as the file-system
// library words its failures.
std::string FailureText(const char* operation, const std::string& path, int error) {
    return bfs::filesystem_error(operation, bfs::path(path),
                                 boost::system::error_code(error, boost::system::system_category()))
        .what();
}

// Puts the opened folder with its complete listing on the stack, read before any entry is
// handled so that nothing the repairs create in the folder can turn up in it. A folder that
// can't be listed is reported and left out.
void PushListing(FolderDescriptor folder, const std::string& path, const std::string& argument,
                 std::vector<OpenFolder>* stack) {
    std::vector<FolderDescriptor::Entry> entries;
    if (const int error = folder.list(&entries); error != 0) {
        ReportProblem(argument, FailureText("readdir", path, error));
        return;
    }
    stack->push_back({std::move(folder), path, std::move(entries)});
}

// True for the backup copy of a file that is still beside it: such a file holds the original,
// unrepaired content on purpose and is never repaired, in this run or a later one.
bool IsBackupOfSibling(const std::string& name, const FolderDescriptor& folder) {
    const std::string original = OriginalOfBackupName(name);
    return !original.empty() && folder.holds(original);
}

// The path of an entry as the log shows it: the folder's path, "/" unless that path ends with
// "/" or ":", and the entry's name.
std::string EntryPath(const std::string& folder, const std::string& name) {
    const bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == ':');
    return separated ? folder + name : folder + '/' + name;
}

// Returns false when the run took no more files.
bool WalkOneArgument(const std::string& argument, RepairRun& run) {
    std::string root = argument;
    if (Conventions().backslashSeparatesFolders) {
        std::replace(root.begin(), root.end(), '\\', '/');
    }
    FolderDescriptor top;
    if (const int error = FolderDescriptor::open(root, &top); error != 0) {
        if (Env::Default().errorKind(error) != Env::ErrorKind::NotFound) {
            ReportProblem(argument, FailureText("open", root, error));
        }
        return true;
    }
    std::vector<OpenFolder> stack;
    PushListing(std::move(top), root, argument, &stack);
    while (!stack.empty()) {
        OpenFolder& current = stack.back();
        if (current.next == current.entries.size()) {
            stack.pop_back();
            continue;
        }
        const FolderDescriptor::Entry entry = current.entries[current.next++];
        const std::string path = EntryPath(current.path, entry.name);
        if (IsPresentationName(entry.name) && entry.isLink) {
            PassOver(PassedOver::SymbolicLink);  // its target may lie anywhere
        } else if (IsPresentationName(entry.name)) {
            if (!IsBackupOfSibling(entry.name, current.folder) && !run.created(path) &&
                !run.repair(path, current.folder, entry.name)) {
                return false;
            }
        } else if (IsOtherCaseOfPresentationName(entry.name)) {
            PassOver(PassedOver::OtherCaseOfEnding);
        }
        if (entry.isFolder) {
            FolderDescriptor child;
            if (const int error = current.folder.openChild(entry.name, &child); error != 0) {
                ReportProblem(argument, FailureText("openat", path, error));
            } else {
                PushListing(std::move(child), path, argument, &stack);  // `current` is stale now
            }
        }
    }
    return true;
}

}  // namespace

namespace {
const std::string kEnding = ".ppt";
}  // namespace

bool IsPresentationName(const std::string& name) {
    return name.size() >= kEnding.size() &&
           name.compare(name.size() - kEnding.size(), kEnding.size(), kEnding) == 0;
}

bool IsOtherCaseOfPresentationName(const std::string& name) {
    if (name.size() < kEnding.size() || IsPresentationName(name)) {
        return false;
    }
    const std::size_t start = name.size() - kEnding.size();
    for (std::size_t i = 0; i < kEnding.size(); ++i) {
        const char c = name[start + i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kEnding[i]) {
            return false;
        }
    }
    return true;
}

void WalkDirectories(const std::vector<std::string>& folders, RepairRun& run) {
    for (const std::string& argument : folders) {
        try {
            if (!WalkOneArgument(argument, run)) {
                return;
            }
        } catch (const std::exception& e) {
            ReportProblem(argument, e.what());
        }
    }
}
