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
    struct Case {
        const char* script;
        std::string output;
        bool exited;
        int statusOrSignal;
    };
    const Case cases[] = {
        {"printf one; sleep 0.1; printf ' two'; exit 3", "one two", true, 3},
        {"kill -TERM $$", "", false, SIGTERM},
        {"cat; echo read-nothing", "read-nothing\n", true, 0},
        {"set -- $(cat /proc/$$/stat); [ \"$1\" = \"$5\" ] && echo own-group", "own-group\n", true,
         0},
    };
    const std::unique_ptr<ChildProcesses> children = Env::Default().childProcesses();
    std::map<ChildProcesses::Id, const Case*> started;
    for (const Case& c : cases) {
        ChildProcesses::Id id = 0;
        ASSERT_EQ(children->start("/bin/sh", {"-c", c.script}, &id), 0);
        started[id] = &c;
    }
    EXPECT_EQ(children->running(), std::size(cases));
    std::map<ChildProcesses::Id, std::string> outputs;
    std::map<ChildProcesses::Id, int> ends;
    while (children->running() > 0) {
        std::vector<ChildProcesses::Event> events;
        children->wait(&events);
        for (const ChildProcesses::Event& event : events) {
            const Case& c = *started.at(event.child);
            EXPECT_EQ(ends[event.child], 0) << "an event after the end of " << c.script;
            outputs[event.child] += event.output;
            if (event.ended) {
                ++ends[event.child];
                EXPECT_EQ(outputs[event.child], c.output) << c.script;
                EXPECT_EQ(event.result.exited, c.exited) << c.script;
                EXPECT_EQ(c.exited ? event.result.exitStatus : event.result.signal,
                          c.statusOrSignal)
                    << c.script;
            }
        }
    }
    EXPECT_EQ(ends.size(), std::size(cases));

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
