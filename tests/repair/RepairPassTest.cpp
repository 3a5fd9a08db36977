#include <gtest/gtest.h>

#include <tuple>

#include "FileSizeCap.h"
#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "repair/RepairFixtures.h"
#include "repair/RepairPass.h"
#include "streams/TempFile.h"
#include "support/Records.h"

using namespace fixtures;
namespace fs = std::filesystem;

namespace {

const char* const kNotPowerPoint =
    "The selected file is not a PowerPoint 97-2003 PPT file. This tool can only repair PPT files.";
const char* const kEncrypted = "This tool cannot repair encrypted or password-protected files.";

// Runs the pass over the given file bytes, with a private temporary folder so that every
// temporary file the pass leaves behind would show.
class RepairPassTest : public ::testing::Test {
protected:
    int run(const Bytes& file) {
        writeFile(input_, file);
        output_.reset();
        outputRequests = 0;
        FixFile fixFile;
        const int outcome = RunRepairPass(
            input_, fixFile,
            [this]() -> TempFile& {
                ++outputRequests;
                output_ = std::make_unique<TempFile>();
                return *output_;
            },
            message);
        return outcome;
    }

    // Files in the temporary folder other than the input and the output.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& e : fs::directory_iterator(temp_.path())) {
            if (e.path() != input_ && (!output_ || e.path() != output_->path())) {
                names.push_back(e.path().filename().string());
            }
        }
        return names;
    }

    ScratchFolder temp_;
    ScopedTmpdir tmpdir_{temp_.path().string()};
    const fs::path input_ = temp_ / "input.ppt";
    std::unique_ptr<TempFile> output_;
    std::string message;
    int outputRequests = 0;
};

// The output is asked for once, after the count, for a file that needs repair, also when its
// only flattened shape lies three presentations deep; never for one with nothing to repair or
// one the pass refuses, each with its message. No file is changed, and no temporary file other
// than the output stays behind.
TEST_F(RepairPassTest, OutputIsAskedForOnlyWhenNeeded) {
    const Bytes third = presentationFile({{oleShape(1025, 1, true), pictureShape(1026)}});
    const Bytes second = presentationFile({{oleShape(1025, 1, false)}}, {exOleObjStg(third)});
    const Bytes first = presentationFile({{pictureShape(1025)}}, {exOleObjStg(second)});
    const Bytes undamaged = presentationFile({{oleShape(1025, 1, false)}});
    PresentationBuilder otherToken = buildDeck({{{}}, {}});
    otherToken.setToken(0x12345678);
    PresentationBuilder encrypted = buildDeck({{{oleShape(1025, 1, true)}}, {}});
    encrypted.setToken(kEncryptedToken);
    PresentationBuilder slideFirst;
    slideFirst.add(slide({oleShape(1025, 1, true)}));
    const Bytes emptyDirectory = persistDirectoryAtom({});
    const auto emptyAt = static_cast<std::uint32_t>(emptyDirectory.size());
    PresentationBuilder damaged = buildDeck({{{oleShape(1025, 1, true)}}, {}});
    Bytes damagedStream = damaged.documentStream();
    damagedStream[damaged.objectOffsets().at(2) + 4] += 1;  // the slide claims one byte more
    const char* const old = "Old version of PowerPoint [Old version of PowerPoint]";
    const std::tuple<Bytes, int, std::string> cases[] = {
        {presentationFile({{oleShape(1025, 1, false)}}, {exOleObjStg(first)}), 0,
         "Successfully fixed 1 flattened embedded objects."},
        {presentationFile({{oleShape(1025, 1, false)}}, {exOleObjStg(undamaged)}), 1,
         "No problems found."},
        {text("plain text, not a compound file"), 2, kNotPowerPoint},
        {otherToken.compoundFile(), 2, kNotPowerPoint},
        {encrypted.compoundFile(), 2, kEncrypted},
        {slideFirst.compoundFile(), 2, kEncrypted},  // a first object that is no document
        {compoundFileBytes({{"WordDocument", zeros(100)}}), 2,
         "I/O exception [Error opening stream [Current User]]"},
        {compoundFileBytes({{"PP40", zeros(10)}, {"Current User", zeros(10)}}), 2, old},
        {compoundFileBytes({{"Header", zeros(10)}, {"PowerPoint Document", zeros(10)}}), 2, old},
        {compoundFileBytes({{"Current User", currentUserAtom(emptyAt)},
                            {"PowerPoint Document", concat({emptyDirectory, userEditAtom({})})}}),
         2, "An unexpected error occurred."},
        {compoundFileBytes({{"Current User", damaged.currentUserStream()},
                            {"PowerPoint Document", damagedStream}}),
         2, "I/O exception [Record length overrun]"},
    };
    for (const auto& [file, outcome, expected] : cases) {
        EXPECT_EQ(run(file), outcome) << expected;
        EXPECT_EQ(message, expected);
        EXPECT_EQ(outputRequests, outcome == 0 ? 1 : 0) << expected;
        EXPECT_EQ(readFile(input_), file) << expected;
        EXPECT_TRUE(leftovers().empty()) << expected;
    }
}

// An embedded presentation with a flattened shape whose compound file unpacks to far more than
// the outer file takes on disk.
Bytes outerWithLargeEmbeddedPresentation() {
    PresentationBuilder inner = buildDeck({{{oleShape(1025, 1, true)}}, {}});
    inner.addStream("Pictures", zeros(1 << 20));
    return presentationFile({{oleShape(1025, 1, true)}}, {exOleObjStg(inner.compoundFile())});
}

// When the machine cannot unpack an embedded presentation, the pass fails: skipping the object
// as if its data were damaged would report a repair that left it flattened.
TEST_F(RepairPassTest, FullDiskWhileUnpackingFailsThePass) {
    const Bytes file = outerWithLargeEmbeddedPresentation();
    int outcome = 0;
    {
        const FileSizeCap cap(file.size() * 4);
        if (!cap.active()) {
            GTEST_SKIP() << "no file size cap on this system";
        }
        outcome = run(file);
    }
    EXPECT_EQ(outcome, 2);
    EXPECT_EQ(message, "I/O exception [errno(27) - File too large]");
    EXPECT_TRUE(leftovers().empty());
}

}  // namespace
