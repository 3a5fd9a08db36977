#include <gtest/gtest.h>

#include <tuple>

#include "FileSizeCap.h"
#include "repair/RepairFixtures.h"
#include "support/Records.h"

using namespace fixtures;

namespace {

const char* const kNotPowerPoint =
    "The selected file is not a PowerPoint 97-2003 PPT file. This tool can only repair PPT files.";
const char* const kEncrypted = "This tool cannot repair encrypted or password-protected files.";

// The outcome and message of a file that needs repair (also when its only flattened shape lies
// three presentations deep), of one with nothing to repair and of each kind the pass refuses.
TEST(RepairPassTest, OutcomeAndMessageOfEachKindOfFile) {
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
        const PassRun run(file);
        EXPECT_EQ(run.outcome, outcome) << expected;
        EXPECT_EQ(run.message, expected);
    }
}

// When the machine cannot unpack an embedded presentation (one with a flattened shape whose
// compound file unpacks to far more than the outer file takes on disk), the pass fails: skipping
// the object as if its data were damaged would report a repair that left it flattened.
TEST(RepairPassTest, FullDiskWhileUnpackingFailsThePass) {
    PresentationBuilder inner = buildDeck({{{oleShape(1025, 1, true)}}, {}});
    inner.addStream("Pictures", zeros(1 << 20));
    const Bytes file =
        presentationFile({{oleShape(1025, 1, true)}}, {exOleObjStg(inner.compoundFile())});
    const FileSizeCap cap(file.size() * 4);
    if (!cap.active()) {
        GTEST_SKIP() << "no file size cap on this system";
    }
    const PassRun run(file, 0, false);
    EXPECT_EQ(run.outcome, 2);
    EXPECT_EQ(run.message, "I/O exception [errno(27) - File too large]");
}

}  // namespace
