#include "batch/DirectoryWalk.h"

#include <algorithm>
#include <boost/filesystem.hpp>
#include <exception>
#include <iostream>

#include "batch/CreatedFiles.h"
#include "batch/FileRepair.h"
#include "platform/TerminalText.h"

namespace bfs = boost::filesystem;

namespace {

struct ListedEntry {
    std::string name;
    bool isFolder;  // a real folder, not a link to one: links are not descended into
};

// A folder being walked, with its whole listing and the next entry to handle.
struct OpenFolder {
    bfs::path path;
    std::vector<ListedEntry> entries;
    std::size_t next = 0;
};

// Reads the complete listing before any entry is handled, so nothing that the repairs create
// in the folder can turn up in it. Throws bfs::filesystem_error when the folder can't be read.
std::vector<ListedEntry> ReadListing(const bfs::path& folder) {
    std::vector<ListedEntry> entries;
    for (bfs::directory_iterator it(folder), end; it != end; ++it) {
        boost::system::error_code error;
        const bool isFolder = bfs::is_directory(it->symlink_status(error));
        entries.push_back({it->path().filename().string(), isFolder && !error});
    }
    return entries;
}

void ReportProblem(const std::string& argument, const std::string& text) {
    std::cout << "A problem occurred parsing the following directory: " << StdoutText(argument)
              << '\n';
    if (!text.empty()) {
        std::cout << StdoutText(text) << '\n';
    }
    std::cout.flush();
}

// Lists the folder onto the stack; reports a folder that can't be listed and leaves it out.
void OpenListing(const bfs::path& folder, const std::string& argument,
                 std::vector<OpenFolder>* stack) {
    try {
        stack->push_back({folder, ReadListing(folder)});
    } catch (const bfs::filesystem_error& e) {
        ReportProblem(argument, e.what());
    }
}

void WalkOneArgument(const std::string& argument, bool createBackup, CreatedFiles& created) {
#ifdef _WIN32
    std::string typed = argument;
    std::replace(typed.begin(), typed.end(), '\\', '/');
    const bfs::path root(typed);
#else
    const bfs::path root(argument);  // a backslash is an ordinary character here
#endif
    boost::system::error_code error;
    const bfs::file_status status = bfs::status(root, error);
    if (status.type() == bfs::file_not_found) {
        return;
    }
    if (error) {
        ReportProblem(argument,
                      bfs::filesystem_error("boost::filesystem::status", root, error).what());
        return;
    }
    std::vector<OpenFolder> stack;
    OpenListing(root, argument, &stack);
    while (!stack.empty()) {
        OpenFolder& folder = stack.back();
        if (folder.next == folder.entries.size()) {
            stack.pop_back();
            continue;
        }
        const ListedEntry entry = folder.entries[folder.next++];
        const bfs::path path = folder.path / entry.name;
        if (IsPresentationName(entry.name) && !created.contains(path.string())) {
            RepairOneFile(path.string(), createBackup, created);
        }
        if (entry.isFolder) {
            OpenListing(path, argument, &stack);
        }
    }
}

}  // namespace

bool IsPresentationName(const std::string& name) {
    static const std::string kEnding = ".ppt";
    return name.size() >= kEnding.size() &&
           name.compare(name.size() - kEnding.size(), kEnding.size(), kEnding) == 0;
}

void WalkDirectories(const std::vector<std::string>& folders, bool createBackup) {
    CreatedFiles created;
    for (const std::string& argument : folders) {
        try {
            WalkOneArgument(argument, createBackup, created);
        } catch (const std::exception& e) {
            ReportProblem(argument, e.what());
        }
    }
}
