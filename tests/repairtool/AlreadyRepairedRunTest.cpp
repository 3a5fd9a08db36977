// A run of the Patchdoc program over a file that needs no repair: it must leave every folder and
// the file's time stamps as they were.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "support/Deck.h"
#include "support/Records.h"
#include "support/RunProgram.h"

using namespace fixtures;
namespace fs = std::filesystem;

namespace {

// Everything that changes the entries or contents of the watched folders, or the attributes of
// what is in them; reading is not among it.
constexpr std::uint32_t kChanges =
    IN_CREATE | IN_DELETE | IN_MODIFY | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_CLOSE_WRITE;

// Records the changes made in some folders while it lives.
class FolderWatch {
public:
    FolderWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;
    ~FolderWatch() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    bool watch(const fs::path& folder) {
        return fd_ >= 0 && ::inotify_add_watch(fd_, folder.c_str(), kChanges) >= 0;
    }

    // The names that changed so far (an empty name for a folder itself).
    std::vector<std::string> changes() {
        std::vector<std::string> names;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0) {
                return names;
            }
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                names.emplace_back(event->len > 0 ? event->name : "");
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int fd_;
};

struct Stamps {
    timespec accessed;
    timespec modified;
};

Stamps stampsOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {st.st_atim, st.st_mtim};
}

void expectSame(const timespec& before, const timespec& after, const char* what) {
    EXPECT_EQ(before.tv_sec, after.tv_sec) << what;
    EXPECT_EQ(before.tv_nsec, after.tv_nsec) << what;
}

// Presentations embedded three deep, none with a flattened shape, and an OLE shape that keeps its
// picture at every level.
Bytes soundNestedPresentation() {
    Bytes inner = buildDeck({{{oleShape(1025, 1, false), pictureShape(1026)}}, {}}).compoundFile();
    for (int level = 0; level < 3; ++level) {
        inner = buildDeck({{{oleShape(1025, 1, false)}}, {exOleObjStg(inner)}}).compoundFile();
    }
    return inner;
}

TEST(AlreadyRepairedRunTest, LeavesFoldersAndTimeStampsAlone) {
    ScratchFolder folder;
    ScratchFolder temp;  // the program's temporary folder
    const fs::path file = folder / "sound.ppt";
    const Bytes bytes = soundNestedPresentation();
    writeFile(file, bytes);
    // An access time older than the modification time: a relatime mount updates it on a read.
    const timespec times[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const Stamps fileBefore = stampsOf(file);
    const Stamps folderBefore = stampsOf(folder.path());
    const Stamps tempBefore = stampsOf(temp.path());
    FolderWatch watch;
    ASSERT_TRUE(watch.watch(folder.path()) && watch.watch(temp.path()));

    RunOptions options;
    options.environment = {"TMPDIR=" + temp.path().string()};
    const RunOutput result = fixtures::Run(PATCHDOC_PATH, {file.string()}, options);

    EXPECT_EQ(result.out, "[ok], " + file.string() + "\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(watch.changes(), std::vector<std::string>());
    const Stamps fileAfter = stampsOf(file);  // before the read below
    EXPECT_EQ(readFile(file), bytes);
    expectSame(fileBefore.accessed, fileAfter.accessed, "file access time");
    expectSame(fileBefore.modified, fileAfter.modified, "file modification time");
    expectSame(folderBefore.modified, stampsOf(folder.path()).modified, "folder time");
    expectSame(tempBefore.modified, stampsOf(temp.path()).modified, "temporary folder time");
}

}  // namespace
