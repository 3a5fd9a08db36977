#include <gtest/gtest.h>

#include <cstdlib>

#include "FileSizeCap.h"
#include "repair/RepairFixtures.h"
#include "repair/RepairPass.h"
#include "streams/TempFile.h"
#include "support/Records.h"

using namespace fixtures;
namespace fs = std::filesystem;

namespace {

const char* const kNotPowerPoint =
    "The selected file is not a PowerPoint 97-2003 PPT file. This tool can only repair PPT files.";

// Runs the pass over the given file bytes, with a private temporary folder so that every
// temporary file the pass leaves behind would show.
class RepairPassTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* outer = std::getenv("TMPDIR");
        savedTmpdir_ = outer != nullptr ? outer : "";
        folder_ = fs::temp_directory_path() / ("repairpass-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        setenv("TMPDIR", folder_.c_str(), 1);
    }
    void TearDown() override {
        if (savedTmpdir_.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", savedTmpdir_.c_str(), 1);
        }
        fs::remove_all(folder_);
    }

    int run(const Bytes& file) {
        input_ = folder_ / "input.ppt";
        writeFile(input_, file);
        output_ = folder_ / "output.ppt";
        writeFile(output_, {});
        FixFile fixFile;
        const int outcome = RunRepairPass(input_, fixFile, output_, message);
        count = fixFile.fixedCount();
        return outcome;
    }

    // Files in the temporary folder other than the input and the output.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& e : fs::directory_iterator(folder_)) {
            if (e.path() != input_ && e.path() != output_) {
                names.push_back(e.path().filename().string());
            }
        }
        return names;
    }

    std::string message;
    int count = -1;
    fs::path input_;
    fs::path output_;

private:
    fs::path folder_;
    std::string savedTmpdir_;
};

TEST_F(RepairPassTest, FlattenedShapesInThePresentationAndInAnEmbeddedOneAreCounted) {
    const Bytes inner = presentationFile({{oleShape(1025, 1, true)}});
    const Bytes file =
        presentationFile({{oleShape(1025, 1, true), pictureShape(1026)}, {oleShape(2049, 1, true)}},
                         {exOleObjStg(inner)});
    EXPECT_EQ(run(file), 0);
    EXPECT_EQ(message, "Successfully fixed 3 flattened embedded objects.");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(flattenedShapes(output_), 0);
    EXPECT_EQ(readFile(input_), file);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(RepairPassTest, NothingToRepairStillWritesTheOutput) {
    const Bytes file = presentationFile({{oleShape(1025, 1, false)}});
    EXPECT_EQ(run(file), 1);
    EXPECT_EQ(message, "No problems found.");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(flattenedShapes(output_), 0);
    EXPECT_EQ(readStream(output_, "PowerPoint Document"),
              readStream(input_, "PowerPoint Document"));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(RepairPassTest, FilesThatAreNotPlainPresentations) {
    EXPECT_EQ(run(text("plain text, not a compound file")), 2);
    EXPECT_EQ(message, kNotPowerPoint);

    PresentationBuilder otherToken = presentation({{}});
    otherToken.setToken(0x12345678);
    EXPECT_EQ(run(otherToken.compoundFile()), 2);
    EXPECT_EQ(message, kNotPowerPoint);

    PresentationBuilder encrypted = presentation({{oleShape(1025, 1, true)}});
    encrypted.setToken(kEncryptedToken);
    EXPECT_EQ(run(encrypted.compoundFile()), 2);
    EXPECT_EQ(message, "This tool cannot repair encrypted or password-protected files.");

    EXPECT_EQ(run(compoundFileBytes({{"WordDocument", zeros(100)}})), 2);
    EXPECT_EQ(message, "I/O exception [Error opening stream [Current User]]");

    EXPECT_EQ(run(compoundFileBytes({{"PP40", zeros(10)}, {"Current User", zeros(10)}})), 2);
    EXPECT_EQ(message, "Old version of PowerPoint [Old version of PowerPoint]");
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(RepairPassTest, FirstObjectThatIsNoDocumentCountsAsEncrypted) {
    PresentationBuilder b;
    b.add(slide({oleShape(1025, 1, true)}));
    EXPECT_EQ(run(b.compoundFile()), 2);
    EXPECT_EQ(message, "This tool cannot repair encrypted or password-protected files.");
}

TEST_F(RepairPassTest, EmptyPersistDirectoryIsAnUnexpectedError) {
    const Bytes directory = persistDirectoryAtom({});
    UserEditFields edit;
    const Bytes stream = concat({directory, userEditAtom(edit)});
    const Bytes file = compoundFileBytes(
        {{"Current User", currentUserAtom(static_cast<std::uint32_t>(directory.size()))},
         {"PowerPoint Document", stream}});
    EXPECT_EQ(run(file), 2);
    EXPECT_EQ(message, "An unexpected error occurred.");
}

TEST_F(RepairPassTest, DamagedDocumentGivesTheFormatError) {
    PresentationBuilder b = presentation({{oleShape(1025, 1, true)}});
    Bytes stream = b.documentStream();
    stream[b.objectOffsets().at(2) + 4] += 1;  // the slide container claims one byte more
    const Bytes damaged = compoundFileBytes(
        {{"Current User", b.currentUserStream()}, {"PowerPoint Document", stream}});
    EXPECT_EQ(run(damaged), 2);
    EXPECT_EQ(message.rfind("I/O exception [", 0), 0u) << message;
    EXPECT_TRUE(leftovers().empty());
}

}  // namespace

namespace {

// An embedded presentation with a flattened shape whose compound file unpacks to far more than
// the outer file takes on disk.
Bytes outerWithLargeEmbeddedPresentation() {
    PresentationBuilder inner = presentation({{oleShape(1025, 1, true)}});
    inner.addStream("Pictures", zeros(1 << 20));
    return presentationFile({{oleShape(1025, 1, true)}}, {exOleObjStg(inner.compoundFile())});
}

}  // namespace

// When the machine cannot unpack an embedded presentation, the pass fails: skipping the object
// as if its data were damaged would report a repair that left it flattened.
TEST_F(RepairPassTest, FullDiskWhileUnpackingFailsThePass) {
    const Bytes file = outerWithLargeEmbeddedPresentation();
    int outcome = 0;
    {
        const FileSizeCap cap(file.size() * 4);
        outcome = run(file);
    }
    EXPECT_EQ(outcome, 2);
    EXPECT_EQ(message, "I/O exception [errno(27) - File too large]");
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(RepairPassTest, MissingTemporaryFolderFailsThePass) {
    const Bytes file = outerWithLargeEmbeddedPresentation();
    input_ = fs::temp_directory_path() / ("repairpass-input-" + std::to_string(::getpid()));
    writeFile(input_, file);
    output_ = input_;
    output_ += ".out";
    writeFile(output_, {});
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string saved = tmpdir != nullptr ? tmpdir : "";
    setenv("TMPDIR", "/nonexistent-folder-for-this-test", 1);
    FixFile fixFile;
    const int outcome = RunRepairPass(input_, fixFile, output_, message);
    setenv("TMPDIR", saved.c_str(), 1);
    fs::remove(input_);
    fs::remove(output_);
    EXPECT_EQ(outcome, 2);
    EXPECT_EQ(message.rfind("Temporary file creation failed", 0), 0u) << message;
}
