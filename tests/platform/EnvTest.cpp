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

// Children side by side: output read in pieces and whole, exit status or signal, standard input
// the null device, each child in a process group of its own (its pid is its group's id).
TEST(ChildProcessesTest, OutputsAndEndsOfChildrenSideBySide) {
    // Each script with its output and then, after "|", how it ends.
    const std::pair<const char*, std::string> cases[] = {
        {"printf one; sleep 0.1; printf ' two'; exit 3", "one two|exit 3"},
        {"kill -TERM $$", "|signal " + std::to_string(SIGTERM)},
        {"cat; echo read-nothing", "read-nothing\n|exit 0"},
        {"set -- $(cat /proc/$$/stat); [ \"$1\" = \"$5\" ] && echo own-group",
         "own-group\n|exit 0"},
    };
    const std::unique_ptr<ChildProcesses> children = Env::Default().childProcesses();
    std::map<ChildProcesses::Id, std::string> expected;
    for (const auto& [script, outcome] : cases) {
        ChildProcesses::Id id = 0;
        ASSERT_EQ(children->start("/bin/sh", {"-c", script}, &id), 0);
        expected[id] = outcome;
    }
    EXPECT_EQ(children->running(), std::size(cases));
    std::map<ChildProcesses::Id, std::string> seen;
    while (children->running() > 0) {
        std::vector<ChildProcesses::Event> events;
        children->wait(&events);
        for (const ChildProcesses::Event& event : events) {
            std::string& child = seen[event.child];
            EXPECT_EQ(child.find('|'), std::string::npos) << "an event after the end: " << child;
            child += event.output;
            if (event.ended) {
                child += event.result.exited ? "|exit " + std::to_string(event.result.exitStatus)
                                             : "|signal " + std::to_string(event.result.signal);
            }
        }
    }
    EXPECT_EQ(seen, expected);

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
    FileIdentity a, same, other;
    ASSERT_EQ(folder.identify("a", &a), 0);
    for (const char* name : {"b", "link"}) {
        ASSERT_EQ(folder.identify(name, &same), 0);
        EXPECT_EQ(a, same) << name;
    }
    ASSERT_EQ(folder.identify("other", &other), 0);
    EXPECT_NE(a, other);
    EXPECT_NE(folder.identify("missing", &other), 0);
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
