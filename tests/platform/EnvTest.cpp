// Services of the Env: children run side by side, the identity of files in a folder, created
// files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <map>

#include "ScratchFolder.h"
#include "platform/Env.h"
#include "platform/FolderDescriptor.h"

namespace {

namespace fs = std::filesystem;

// What became of each child: all its output, and how it ended.
struct Outcome {
    std::string output;
    ProcessResult result;
    int endEvents = 0;
};

std::map<ChildProcesses::Id, Outcome> RunToEnd(ChildProcesses& children) {
    std::map<ChildProcesses::Id, Outcome> outcomes;
    while (children.running() > 0) {
        std::vector<ChildProcesses::Event> events;
        children.wait(&events);
        for (const ChildProcesses::Event& event : events) {
            Outcome& outcome = outcomes[event.child];
            EXPECT_EQ(outcome.endEvents, 0) << "an event after the end";
            outcome.output += event.output;
            if (event.ended) {
                ++outcome.endEvents;
                outcome.result = event.result;
            }
        }
    }
    return outcomes;
}

// Children side by side: output read in pieces and whole, exit status or signal, standard input
// the null device, each child in a process group of its own (its pid is its group's id).
TEST(ChildProcessesTest, OutputsAndEndsOfChildrenSideBySide) {
    const std::unique_ptr<ChildProcesses> children = Env::Default().childProcesses();
    const std::vector<std::string> scripts = {
        "printf one; sleep 0.1; printf ' two'; exit 3",
        "kill -TERM $$",
        "cat; echo read-nothing",
        "set -- $(cat /proc/$$/stat); [ \"$1\" = \"$5\" ] && echo own-group",
    };
    std::vector<ChildProcesses::Id> ids;
    for (const std::string& script : scripts) {
        ChildProcesses::Id id = 0;
        ASSERT_EQ(children->start("/bin/sh", {"-c", script}, &id), 0);
        ids.push_back(id);
    }
    EXPECT_EQ(children->running(), scripts.size());
    std::map<ChildProcesses::Id, Outcome> outcomes = RunToEnd(*children);
    EXPECT_EQ(outcomes[ids[0]].output, "one two");
    EXPECT_TRUE(outcomes[ids[0]].result.exited);
    EXPECT_EQ(outcomes[ids[0]].result.exitStatus, 3);
    EXPECT_FALSE(outcomes[ids[1]].result.exited);
    EXPECT_EQ(outcomes[ids[1]].result.signal, SIGTERM);
    EXPECT_EQ(outcomes[ids[2]].output, "read-nothing\n");
    EXPECT_EQ(outcomes[ids[3]].output, "own-group\n");
    for (const ChildProcesses::Id id : ids) {
        EXPECT_EQ(outcomes[id].endEvents, 1);
    }

    ChildProcesses::Id missing = 0;
    EXPECT_NE(children->start("/nonexistent/program", {}, &missing), 0);
    EXPECT_EQ(children->running(), 0u);
}

TEST(FolderDescriptorTest, IdentityIsTheFilesWhateverItsName) {
    ScratchFolder scratch;
    WriteFileBytes(scratch / "a", "x");
    WriteFileBytes(scratch / "other", "x");
    fs::create_hard_link(scratch / "a", scratch / "b");
    fs::create_symlink("a", scratch / "link");
    FolderDescriptor folder;
    ASSERT_EQ(FolderDescriptor::open(scratch.path().string(), &folder), 0);
    FileIdentity a, b, link, other, missing;
    ASSERT_EQ(folder.identify("a", &a), 0);
    ASSERT_EQ(folder.identify("b", &b), 0);
    ASSERT_EQ(folder.identify("link", &link), 0);
    ASSERT_EQ(folder.identify("other", &other), 0);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, link);
    EXPECT_NE(a, other);
    EXPECT_NE(folder.identify("missing", &missing), 0);
}

TEST(EnvTest, CreatedFilesArePrivateEmptyAndDistinct) {
    Env& env = Env::Default();
    ScratchFolder scratch;
    std::unique_ptr<CreatedFile> a;
    std::unique_ptr<CreatedFile> b;
    ASSERT_EQ(env.createFile(scratch.path(), "kvf", &a), 0);
    ASSERT_EQ(env.createFile(scratch.path(), "kvf", &b), 0);
    EXPECT_NE(a->path(), b->path());
    EXPECT_EQ(a->path().parent_path(), scratch.path());
    EXPECT_EQ(a->path().filename().string().rfind("kvf", 0), 0u);
    EXPECT_EQ(a->path().extension(), ".tmp");
    EXPECT_EQ(fs::file_size(a->path()), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(a->path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(env.createFile(scratch / "missing", "kvf", &a), ENOENT);
}

}  // namespace
