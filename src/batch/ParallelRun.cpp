#include "batch/ParallelRun.h"

#include <iostream>
#include <vector>

#include "platform/Env.h"
#include "platform/FolderDescriptor.h"
#include "platform/TerminalText.h"

namespace {

// A child's output is held until it ends; one that writes more than this has its complete lines
// written as they come.
constexpr std::size_t kHeldOutputBytes = 64 << 10;

// Writes the complete lines of `output` (all of it with `all`, a missing last line feed added)
// to the console, each shown as StdoutText shows text, and removes them from `output`.
void WriteLines(std::string& output, bool all) {
    std::size_t end = output.rfind('\n');
    if (all && !output.empty() && output.back() != '\n') {
        output.push_back('\n');
        end = output.size() - 1;
    }
    if (end == std::string::npos) {
        return;
    }
    std::string shown;
    for (std::size_t start = 0; start <= end;) {
        const std::size_t stop = output.find('\n', start);
        shown += StdoutText(std::string_view(output).substr(start, stop - start));
        shown += '\n';
        start = stop + 1;
    }
    output.erase(0, end + 1);
    std::cout << shown << std::flush;
}

}  // namespace

ParallelRun::ParallelRun(RepairSettings settings, std::size_t slots)
    : settings_(settings), slots_(slots), children_(Env::Default().childProcesses()) {}

bool ParallelRun::repair(const std::string& path, const FolderDescriptor& folder,
                         const std::string& name) {
    std::optional<FileIdentity> identity;
    if (FileIdentity id; folder.identify(name, &id) == 0) {
        identity = id;
    }
    while (!children_->interrupted() &&
           (running_.size() >= slots_ || (identity && busy_.count(*identity) != 0))) {
        handleEvents();
    }
    if (children_->interrupted()) {
        return false;
    }
    Running child{path, identity, BackupWatch(path, settings_.createBackup && !settings_.checkOnly),
                  std::string(), std::string()};
    const std::filesystem::path program = PatchdocProgram();
    ChildProcesses::Id id = 0;
    ProcessResult failed;
    // Never fall back to a Patchdoc found elsewhere.
    failed.startError = program.empty()
                            ? ProcessResult::kNoProgram
                            : children_->start(program, PatchdocArguments(path, settings_), &id);
    if (failed.startError != 0) {
        ReportStartError(program, failed.startError);
        LogOutcome(path, failed, settings_.checkOnly, std::string());
        return true;
    }
    if (identity) {
        busy_.insert(*identity);
    }
    running_.emplace(id, std::move(child));
    return true;
}

void ParallelRun::finish() {
    while (!running_.empty()) {
        handleEvents();
    }
}

void ParallelRun::handleEvents() {
    std::vector<ChildProcesses::Event> events;
    children_->wait(&events);
    for (ChildProcesses::Event& event : events) {
        const auto found = running_.find(event.child);
        if (found == running_.end()) {
            continue;
        }
        Running& child = found->second;
        child.output += event.output;
        if (child.firstLine.empty() && child.output.find('\n') != std::string::npos) {
            child.firstLine = child.output.substr(0, child.output.find('\n'));
        }
        if (event.ended) {
            ended(child, event.result);
            running_.erase(found);
        } else if (child.output.size() > kHeldOutputBytes) {
            WriteLines(child.output, false);
        }
    }
}

void ParallelRun::ended(Running& child, const ProcessResult& result) {
    WriteLines(child.output, true);
    child.backups.noteCreated(result, created_);
    LogOutcome(child.path, result, settings_.checkOnly, child.firstLine);
    if (child.identity) {
        busy_.erase(*child.identity);
    }
}
