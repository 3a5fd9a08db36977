// Patchdoc run by root over a folder that other users may write, with one of them acting at the
// worst moments: races are set off by the file system's own events, so they play out the same
// way every time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Neighbour.h"
#include "ScratchFolder.h"
#include "support/Deck.h"
#include "support/Records.h"
#include "support/RunProgram.h"

namespace {

namespace fs = std::filesystem;
using fixtures::RunOutput;

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
class SharedFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root to act as a second user";
        }
        fs::create_directory(shared_);
        ::chmod(shared_.c_str(), 0777);
    }

    RunOutput patchdoc(const std::vector<std::string>& arguments) {
        fixtures::RunOptions options;
        options.environment = {"TMPDIR=" + temp_.path().string()};
        return fixtures::Run(PATCHDOC_PATH, arguments, options);
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

    ScratchFolder scratch_;
    ScratchFolder temp_;
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
    const RunOutput result = patchdoc({"-d", deck_});
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

}  // namespace
