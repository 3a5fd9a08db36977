// Patchdoc run by root over a folder that other users may write, with one of them acting at the
// worst moments: races are set off by the file system's own events, not by time (only a race
// that nothing holds back is tried again until it lands).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <functional>

#include "PatchdocTest.h"
#include "platform/Env.h"
#include "support/Deck.h"
#include "support/Records.h"

namespace {

using namespace patchdoctest;

// Another user of a shared folder, acting at a moment set by the file system's own events, not
// by time: a process of its own (user and group 65534 when the test runs as root, unless told
// otherwise) that watches `watched` with inotify and calls `act` with the name of every event of
// `mask` (empty for an event of `watched` itself) until `act` returns true. It is watching when
// the constructor returns.
class Neighbour {
public:
    Neighbour(const std::filesystem::path& watched, std::uint32_t mask,
              const std::function<bool(const std::string&)>& act, bool otherUser = true) {
        int ready[2];
        int done[2];
        if (::pipe(ready) != 0 || ::pipe(done) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            if (otherUser && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                ::_exit(3);
            }
            const int fd = ::inotify_init1(IN_CLOEXEC);
            if (fd < 0 || ::inotify_add_watch(fd, watched.c_str(), mask) < 0) {
                ::_exit(4);
            }
            (void)!::write(ready[1], "r", 1);
            alignas(inotify_event) char buffer[4096];
            for (;;) {
                const ssize_t got = ::read(fd, buffer, sizeof buffer);
                for (ssize_t at = 0; at < got;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                    if (act(event->len > 0 ? event->name : "")) {
                        (void)!::write(done[1], "d", 1);
                        ::_exit(0);
                    }
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
            }
        }
        ::close(ready[1]);
        ::close(done[1]);
        char byte = 0;
        (void)!::read(ready[0], &byte, 1);
        ::close(ready[0]);
        done_ = done[0];
    }
    Neighbour(const Neighbour&) = delete;
    Neighbour& operator=(const Neighbour&) = delete;
    ~Neighbour() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (done_ >= 0) {
            ::close(done_);
        }
    }

    // True once the neighbour has acted, waiting up to `milliseconds` for it.
    bool acted(int milliseconds = 10000) {
        pollfd ready{done_, POLLIN, 0};
        return done_ >= 0 && ::poll(&ready, 1, milliseconds) == 1 && (ready.revents & POLLIN);
    }

private:
    pid_t pid_ = -1;
    int done_ = -1;
};

// A presentation to repair with `pictureBytes` of pictures besides, so that its repair takes a
// while; `seed` tells two of them apart.
std::string Presentation(std::size_t pictureBytes, std::uint8_t seed) {
    fixtures::PresentationBuilder deck =
        fixtures::buildDeck({{{fixtures::oleShape(1025, 1, true)}}, {}});
    deck.addStream("Pictures", fixtures::Bytes(pictureBytes, seed));
    const fixtures::Bytes bytes = deck.compoundFile();
    return std::string(bytes.begin(), bytes.end());
}

bool WriteNew(const fs::path& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    const bool written =
        fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && written;
}

// A folder everyone may write (mode 0777, not sticky), and the temporary folder of the runs.
class SharedFolderTest : public patchdoctest::PatchdocTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root to act as a second user";
        }
        fs::create_directory(shared_);
        ::chmod(shared_.c_str(), 0777);
    }

    // The files of the shared folder that belong to the neighbour (user 65534).
    std::vector<fs::path> neighbourFiles() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(shared_)) {
            struct stat st {};
            if (::lstat(entry.path().c_str(), &st) == 0 && st.st_uid == 65534) {
                files.push_back(entry.path());
            }
        }
        return files;
    }

    const fs::path shared_ = scratch_ / "shared";
    const fs::path deck_ = shared_ / "deck.ppt";
};

// The neighbour renames the new kvf*.tmp file aside and puts a presentation of their own under
// its name. What the run writes goes into its own file only, and the neighbour's file takes
// neither the victim's place nor its bytes.
TEST_F(SharedFolderTest, ATemporaryFileSwappedByANeighbourIsNeitherWrittenNorUsed) {
    const std::string original = Presentation(16 << 20, 1);
    const std::string planted = Presentation(1 << 10, 2);
    WriteFileBytes(deck_, original);
    Neighbour neighbour(shared_, IN_CREATE, [&](const std::string& name) {
        const fs::path path = shared_ / name;
        return name.rfind("kvf", 0) == 0 &&
               ::rename(path.c_str(), (shared_ / "aside").c_str()) == 0 && WriteNew(path, planted);
    });
    const RunOutput result = run({"-d", deck_});
    ASSERT_TRUE(neighbour.acted());
    EXPECT_EQ(
        result.out,
        "Another program put a file in the place of the repaired one while the file was being "
        "repaired. Your file has not been modified.\n" +
            deck_.string() + "\n");
    EXPECT_TRUE(ReadFileBytes(deck_) == original) << "the file was changed";
    const std::vector<fs::path> theirs = neighbourFiles();
    ASSERT_EQ(theirs.size(), 1u);
    EXPECT_TRUE(ReadFileBytes(theirs[0]) == planted) << "the neighbour's file was written";
}

// The runner owns neither the file nor may take leases (a group share), so nothing keeps the
// neighbour out; but the run sees it open the file during the overwrite and does not call the
// file repaired. The original stays in the kept copy. Nothing holds the overwrite back, so on a
// busy machine the neighbour may only get to the file after the run: then its save must land
// after the complete repair, and the race is tried again.
TEST_F(SharedFolderTest, WithoutALeaseAnOpenDuringTheOverwriteFailsTheRun) {
    const std::string original = Presentation(32 << 20, 1);
    const fs::path reference = temp_ / "reference.ppt";
    WriteFileBytes(reference, original);
    ASSERT_EQ(run({"-d", reference}).exitCode, 0);
    const std::string repaired = ReadFileBytes(reference);
    const fs::path kept = shared_ / "deck.ppt.patchdoc-original";
    bool caught = false;
    unprivileged_ = true;  // neither the file's owner nor root: no lease
    for (int attempt = 0; attempt < 8 && !caught; ++attempt) {
        WriteFileBytes(deck_, original);
        ::chmod(deck_.c_str(), 0666);
        Neighbour neighbour(
            deck_, IN_MODIFY,
            [&](const std::string&) {
                std::ofstream(deck_, std::ios::app) << "saved";
                return true;
            },
            false);
        const RunOutput result = run({"-d", deck_});
        ASSERT_TRUE(neighbour.acted());
        if (result.exitCode == 0) {
            ASSERT_EQ(result.out, "[fixed], " + deck_.string() + "\n");
            ASSERT_TRUE(ReadFileBytes(deck_) == repaired + "saved") << "a save went unnoticed";
            continue;
        }
        caught = true;
        EXPECT_EQ(result.out,
                  "Another program opened the file while it was being overwritten and may have "
                  "changed it. Its original content is in " +
                      kept.string() + "\n" + deck_.string() + "\n");
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(ReadFileBytes(kept) == original) << "the kept copy is not the original";
    }
    EXPECT_TRUE(caught) << "the neighbour never opened the file during the overwrite";
}

// Copies planted where a kept copy would be, one carrying a correct record but owned by the
// neighbour, one the marked copy of another file of the same name: neither is taken for the
// copy of an interrupted repair, and the file is repaired.
TEST_F(SharedFolderTest, PlantedKeptCopiesAreNotTakenForOnes) {
    WriteFileBytes(deck_, Presentation(1 << 10, 1));
    const fs::path beside = shared_ / "deck.ppt.patchdoc-original";
    ASSERT_EQ(Env::Default().pinFile(deck_)->keepCopy(beside, PinnedFile::CopyKind::Kept, ""), 0);
    ASSERT_EQ(::chown(beside.c_str(), 65534, 65534), 0);
    fs::create_directory(scratch_ / "other");
    WriteFileBytes(scratch_ / "other/deck.ppt", "another file");
    const fs::path inTemp = temp_ / "deck.ppt.patchdoc-original";
    ASSERT_EQ(Env::Default()
                  .pinFile(scratch_ / "other/deck.ppt")
                  ->keepCopy(inTemp, PinnedFile::CopyKind::Kept, ""),
              0);
    EXPECT_EQ(run({"-d", deck_}).out, "[fixed], " + deck_.string() + "\n");
    EXPECT_TRUE(fs::exists(beside) && fs::exists(inTemp));
}

// An ordinary user who may write the file but owns neither it nor the sticky folder can't rename
// over it: the content is overwritten in place, the owner stays, and the backup (a copy) holds
// the original.
TEST_F(SharedFolderTest, StickyFolderOfAnotherOwnerIsOverwrittenInPlace) {
    ASSERT_EQ(::chmod(shared_.c_str(), 01777), 0);
    const std::string original = Presentation(1 << 10, 1);
    WriteFileBytes(deck_, original);
    ::chmod(deck_.c_str(), 0666);
    struct stat before {};
    struct stat after {};
    ASSERT_EQ(::stat(deck_.c_str(), &before), 0);
    unprivileged_ = true;
    EXPECT_EQ(run({deck_}).out, "[fixed], " + deck_.string() + "\n");
    ASSERT_EQ(::stat(deck_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 0u);
    EXPECT_TRUE(ReadFileBytes(shared_ / "deck (Backup).ppt") == original);
    EXPECT_EQ(CountTempFiles(shared_), 0);
}

}  // namespace
