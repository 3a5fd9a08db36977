// Runs of the Patchdoc program that only a POSIX system can set up: FIFOs and devices, a
// pseudo-terminal as standard output, a folder made read-only; and runs that must write nothing
// (over a file that needs no repair, and check-only runs over any file), watched by inotify, on a
// file system that updates access times on every read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "PatchdocTest.h"
#include "ReadOnlyFolder.h"
#include "support/Deck.h"
#include "support/Records.h"

namespace {

using namespace fixtures;
using namespace patchdoctest;
using AlreadyRepairedRunTest = PatchdocTest;

// FIFOs and devices do not exist. On a terminal control characters of the path show as '?'; a
// pipe or file gets the bytes.
TEST_F(PatchdocTest, FifosDevicesAndPathsOnATerminal) {
    ASSERT_EQ(::mkfifo((scratch_ / "fifo.ppt").c_str(), 0600), 0);
    for (const std::string& path : {(scratch_ / "fifo.ppt").string(), std::string("/dev/null")}) {
        const RunOutput result = run({path});
        EXPECT_EQ(result.out, path + " does not exist.\n");
        EXPECT_EQ(result.exitCode, 1);
    }

    const fs::path missing = scratch_ / "gone\x1b[2J\n.ppt";
    const std::string shown = (scratch_ / "gone?[2J?.ppt").string();
    EXPECT_EQ(run({missing}, {}, StandardOutput::Terminal).out, shown + " does not exist.\n");
    EXPECT_EQ(run({missing}).out, missing.string() + " does not exist.\n");

    const fs::path talk = notAPresentation("talks", "a\tb\x7f.ppt");
    const RunOutput terminal = run({talk}, {}, StandardOutput::Terminal);
    EXPECT_EQ(terminal.out,
              "[err], " + kNotPowerPoint + (scratch_ / "talks/a?b?.ppt").string() + "\n");
    EXPECT_EQ(terminal.exitCode, 1);

    // A damaged compound file: the message quotes the path too, and a C1 control counts.
    const fs::path damaged = scratch_ /
                             "cf\x1b[2J\xC2\x9B"
                             "2Jx.ppt";
    WriteFileBytes(damaged, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(600, '\x01'));
    const std::string shownPath = (scratch_ / "cf?[2J?2Jx.ppt").string();
    EXPECT_EQ(run({damaged}, {}, StandardOutput::Terminal).out,
              "[err], General exception [HRESULT(80030109) - opening storage [" + shownPath + "]]" +
                  shownPath + "\n");
}

// The output is needed only for a file that needs repair.
TEST_F(PatchdocTest, OutputFileThatCannotBeCreatedIsAnError) {
    fs::create_directories(scratch_ / "locked");
    const fs::path path = scratch_ / "locked" / "a.ppt";
    const Bytes flattened = buildDeck({{{oleShape(1025, 1, true)}}, {}}).compoundFile();
    writeFile(path, flattened);
    ReadOnlyFolder locked(path.parent_path());
    if (!locked.active()) {
        GTEST_SKIP() << "this file system cannot make a folder read-only for this user";
    }
    const RunOutput result = run({path.string()}, (temp_ / "missing").string());
    EXPECT_EQ(result.out,
              "[err], Temporary file creation failed [HRESULT(80070002) - No such file or "
              "directory]" +
                  path.string() + "\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(readFile(path), flattened);
}

// Records the changes made in some folders while it lives: everything that changes their
// entries or contents, or the attributes of what is in them; reading is not among it.
class FolderWatch {
public:
    FolderWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;
    ~FolderWatch() { ::close(fd_); }

    bool watch(const fs::path& folder) {
        constexpr std::uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MODIFY | IN_MOVED_FROM |
                                           IN_MOVED_TO | IN_ATTRIB | IN_CLOSE_WRITE;
        return ::inotify_add_watch(fd_, folder.c_str(), kChanges) >= 0;
    }

    // The names that changed so far (an empty name for a folder itself).
    std::vector<std::string> changes() {
        std::vector<std::string> names;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                names.emplace_back(event->len > 0 ? event->name : "");
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return names;
    }

private:
    int fd_;
};

// The access, modification and change times of a file, to the nanosecond.
std::string Stamps(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    std::string text;
    for (const timespec& time : {st.st_atim, st.st_mtim, st.st_ctim}) {
        text += std::to_string(time.tv_sec) + "." + std::to_string(time.tv_nsec) + " ";
    }
    return text;
}

// Presentations embedded three deep, none with a flattened shape, and an OLE shape that keeps its
// picture at every level.
Bytes SoundNestedPresentation() {
    Bytes inner = buildDeck({{{oleShape(1025, 1, false), pictureShape(1026)}}, {}}).compoundFile();
    for (int level = 0; level < 3; ++level) {
        inner = buildDeck({{{oleShape(1025, 1, false)}}, {exOleObjStg(inner)}}).compoundFile();
    }
    return inner;
}

// Flattened shapes at three levels; the embedded presentations are too large to be examined in
// memory, so a repair would unpack them to temporary files.
Bytes FlattenedNestedPresentation() {
    PresentationBuilder inner = buildDeck({{{oleShape(1025, 1, true)}}, {}});
    inner.addStream("Pictures", zeros(300000));
    PresentationBuilder middle =
        buildDeck({{{oleShape(1025, 1, true)}}, {exOleObjStg(inner.compoundFile())}});
    middle.addStream("Pictures", zeros(300000));
    return buildDeck({{{oleShape(1025, 1, true), pictureShape(1026)}},
                      {exOleObjStg(middle.compoundFile())}})
        .compoundFile();
}

// A repair of a sound file, and -n over any file, examining every depth: nothing is written, not
// in the file's folder, not in the temporary folder, not the file's times, on a file system that
// updates access times on every read where one can be mounted (else on the temporary folder's,
// where the access time older than the modification time makes a relatime mount update it).
TEST_F(AlreadyRepairedRunTest, WritesNothingAndKeepsTheTimes) {
    // A tmpfs mounted with strictatime, where every read updates the access time unless the
    // reader asks otherwise, where mounting is allowed.
    const fs::path folder = scratch_ / "strict";
    fs::create_directory(folder);
    const bool strict = ::mount("tmpfs", folder.c_str(), "tmpfs", MS_STRICTATIME, "size=64m") == 0;
    const std::shared_ptr<void> unmount(nullptr, [&](void*) {
        if (strict) {
            ::umount2(folder.c_str(), MNT_DETACH);
        }
    });
    const fs::path flattened = folder / "flattened.ppt";
    const fs::path sound = folder / "sound.ppt";
    const fs::path broken = folder / "broken.ppt";
    writeFile(flattened, FlattenedNestedPresentation());
    writeFile(sound, SoundNestedPresentation());
    writeFile(broken, text("not a presentation"));
    const std::pair<std::vector<std::string>, std::string> runs[] = {
        {{sound.string()}, "[ok], " + sound.string() + "\n"},
        {{"-n", flattened.string()}, "[flattened 3], " + flattened.string() + "\n"},
        {{flattened.string(), "-d", "-n"}, "[flattened 3], " + flattened.string() + "\n"},
        {{"-n", sound.string()}, "[ok], " + sound.string() + "\n"},
        {{"-n", broken.string()}, "[err], " + kNotPowerPoint + broken.string() + "\n"},
    };
    for (const auto& [arguments, line] : runs) {
        SCOPED_TRACE(line);
        const fs::path file = arguments[arguments.size() == 3 ? 0 : arguments.size() - 1];
        const Bytes bytes = readFile(file);
        const timespec times[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
        const std::string before = Stamps(file);
        FolderWatch watch;
        ASSERT_TRUE(watch.watch(folder) && watch.watch(temp_.path()));

        const RunOutput result = run(arguments);

        EXPECT_EQ(result.out, line);
        EXPECT_EQ(result.exitCode, line[1] == 'f' ? 0 : line[1] == 'o' ? 2 : 1);
        EXPECT_EQ(watch.changes(), std::vector<std::string>());
        EXPECT_EQ(Stamps(file), before);
        EXPECT_EQ(readFile(file), bytes);
        if (strict) {  // a plain read does update the access time: the test can fail
            EXPECT_NE(Stamps(file), before);
        }
    }
}

}  // namespace
