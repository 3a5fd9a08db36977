// Runs of the Patchdoc program that must write nothing: over a file that needs no repair, and
// check-only runs (-n) over any file. They must leave every folder and the file's time stamps as
// they were.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/mount.h>
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
    timespec changed;
};

Stamps stampsOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {st.st_atim, st.st_mtim, st.st_ctim};
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

// A tmpfs mounted with strictatime, where every read updates the access time unless the
// reader asks otherwise; inactive where mounting is not allowed.
class StrictAtimeFolder {
public:
    explicit StrictAtimeFolder(const fs::path& path) : path_(path) {
        fs::create_directory(path_);
        mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_STRICTATIME, "size=64m") == 0;
    }
    StrictAtimeFolder(const StrictAtimeFolder&) = delete;
    StrictAtimeFolder& operator=(const StrictAtimeFolder&) = delete;
    ~StrictAtimeFolder() {
        if (mounted_) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
    }

    bool mounted() const { return mounted_; }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
    bool mounted_ = false;
};

// Flattened shapes at three levels; the embedded presentations are too large to be examined in
// memory, so a repair would unpack them to temporary files.
Bytes flattenedNestedPresentation() {
    PresentationBuilder inner = buildDeck({{{oleShape(1025, 1, true)}}, {}});
    inner.addStream("Pictures", zeros(300000));
    PresentationBuilder middle =
        buildDeck({{{oleShape(1025, 1, true)}}, {exOleObjStg(inner.compoundFile())}});
    middle.addStream("Pictures", zeros(300000));
    return buildDeck({{{oleShape(1025, 1, true), pictureShape(1026)}},
                      {exOleObjStg(middle.compoundFile())}})
        .compoundFile();
}

// -n examines every depth and writes nothing: not in the file's folder, not in the temporary
// folder, not the file's times (on a file system that updates access times on every read).
TEST(CheckOnlyRunTest, WritesNothingAndKeepsTheTimes) {
    ScratchFolder scratch;
    StrictAtimeFolder strict(scratch / "strict");
    if (!strict.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs with strictatime here";
    }
    ScratchFolder temp;
    const fs::path flattened = strict.path() / "flattened.ppt";
    const fs::path sound = strict.path() / "sound.ppt";
    const fs::path broken = strict.path() / "broken.ppt";
    writeFile(flattened, flattenedNestedPresentation());
    writeFile(sound, soundNestedPresentation());
    writeFile(broken, text("not a presentation"));
    const std::pair<std::vector<std::string>, std::string> runs[] = {
        {{"-n", flattened.string()}, "[flattened 3], " + flattened.string() + "\n"},
        {{flattened.string(), "-d", "-n"}, "[flattened 3], " + flattened.string() + "\n"},
        {{"-n", sound.string()}, "[ok], " + sound.string() + "\n"},
        {{"-n", broken.string()},
         "[err], The selected file is not a PowerPoint 97-2003 PPT file. This tool can only "
         "repair PPT files." +
             broken.string() + "\n"},
    };
    for (const auto& [arguments, line] : runs) {
        SCOPED_TRACE(line);
        const fs::path file = arguments[arguments.size() == 2 ? 1 : 0];
        const Bytes bytes = readFile(file);
        const timespec times[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
        const Stamps before = stampsOf(file);
        FolderWatch watch;
        ASSERT_TRUE(watch.watch(strict.path()) && watch.watch(temp.path()));

        RunOptions options;
        options.environment = {"TMPDIR=" + temp.path().string()};
        const RunOutput result = fixtures::Run(PATCHDOC_PATH, arguments, options);

        EXPECT_EQ(result.out, line);
        EXPECT_EQ(result.exitCode, line[1] == 'f' ? 0 : line[1] == 'o' ? 2 : 1);
        EXPECT_EQ(watch.changes(), std::vector<std::string>());
        const Stamps after = stampsOf(file);
        expectSame(before.accessed, after.accessed, "access time");
        expectSame(before.modified, after.modified, "modification time");
        expectSame(before.changed, after.changed, "change time");
        EXPECT_EQ(readFile(file), bytes);
        // The mount does update the access time of a plain read, so the test can fail.
        EXPECT_NE(stampsOf(file).accessed.tv_sec, before.accessed.tv_sec);
    }
}

}  // namespace
