#include <gtest/gtest.h>

#include "repair/RepairFixtures.h"
#include "repair/RepairPass.h"
#include "streams/TempFile.h"
#include "support/FrontLoaded.h"
#include "support/Records.h"

using namespace fixtures;

namespace {

int flattenedIn(const Bytes& compoundFile) {
    TempFile file;
    writeFile(file.path(), compoundFile);
    return flattenedShapes(file.path());
}

TEST(EmbeddedRepairTest, FlattenedShapeOnlyInsideAnEmbeddedPresentation) {
    const Bytes inner = presentationFile({{oleShape(1025, 1, true), pictureShape(1026)}});
    const Bytes outer = presentationFile({{oleShape(1025, 1, false)}}, {exOleObjStg(inner)});
    PassRun run(outer);
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), 1);
    const StoredRecord stored = storedObject(run.output.path(), objectPersistId(1, 0));
    EXPECT_EQ(stored.header.verInstance, 0x0010);
    EXPECT_EQ(stored.header.length, stored.body.size());
    const Bytes repaired = embeddedFile(stored);
    EXPECT_EQ(flattenedIn(repaired), 0);
    EXPECT_EQ(flattenedIn(inner), 1);
    EXPECT_EQ(readStream(run.output.path(), "Current User").size(),
              readStream(run.input.path(), "Current User").size());
}

TEST(EmbeddedRepairTest, ThreeLevelsAreRepairedInnermostFirst) {
    const Bytes level3 = presentationFile({{oleShape(1025, 1, true)}});
    const Bytes level2 = presentationFile({{oleShape(1025, 1, true)}}, {exOleObjStg(level3)});
    const Bytes level1 = presentationFile({{oleShape(1025, 1, true)}}, {exOleObjStg(level2)});
    PassRun run(level1);
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), 3);
    const Bytes repaired2 = embeddedFile(storedObject(run.output.path(), objectPersistId(1, 0)));
    EXPECT_EQ(flattenedIn(repaired2), 0);
    TempFile file2;
    writeFile(file2.path(), repaired2);
    const Bytes repaired3 = embeddedFile(storedObject(file2.path(), objectPersistId(1, 0)));
    EXPECT_EQ(flattenedIn(repaired3), 0);
}

TEST(EmbeddedRepairTest, PresentationWithoutDamageIsStillRewrittenAndRecompressed) {
    const Bytes inner = presentationFile({{pictureShape(1025)}});
    const Bytes outer = presentationFile({{oleShape(1025, 1, true)}}, {exOleObjStg(inner)});
    PassRun run(outer);
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), 1);
    const StoredRecord stored = storedObject(run.output.path(), objectPersistId(1, 0));
    EXPECT_EQ(stored.header.verInstance, 0x0010);
    EXPECT_EQ(readStream(run.output.path(), "PowerPoint Document").size() > 0, true);
    TempFile repaired;
    writeFile(repaired.path(), embeddedFile(stored));
    EXPECT_EQ(readStream(repaired.path(), "PowerPoint Document"),
              presentation({{pictureShape(1025)}}).documentStream());
}

// Objects that are not examined, or cannot be, keep their stored bytes exactly.
TEST(EmbeddedRepairTest, ObjectsThatAreNotPlainPresentationsKeepTheirBytes) {
    PresentationBuilder encrypted = presentation({{oleShape(1025, 1, true)}});
    encrypted.setToken(kEncryptedToken);
    const Bytes workbook = compoundFileBytes({{"Workbook", zeros(5000)},
                                              {"\x01"
                                               "CompObj",
                                               zeros(40)}});
    Bytes corrupt = exOleObjStg(workbook);
    corrupt[8 + 4 + 10] ^= 0xFF;  // damage the deflate data
    const std::vector<Bytes> records{
        exOleObjStg(encrypted.compoundFile()), exOleObjStg(workbook),
        exOleObjStg(presentationFile({{oleShape(1025, 1, true)}}), false), corrupt,
        exOleObjStg(text("not a compound file"))};
    PassRun run(presentationFile({{oleShape(1025, 1, true)}}, records));
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), 1);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const StoredRecord stored = storedObject(run.output.path(), objectPersistId(1, i));
        Bytes written(8);
        stored.header.serialize(written.data());
        written.insert(written.end(), stored.body.begin(), stored.body.end());
        EXPECT_EQ(written, records[i]) << "object " << i;
    }
}

// Objects larger than the head that is unpacked first: whether their directory lies at the front
// (as the platform writes embedded objects) or at the end, only presentations are repaired.
TEST(EmbeddedRepairTest, LargeObjectsAreToldApartWhereverTheirDirectoryLies) {
    const Bytes workbook =
        compoundFileBytes({{"Workbook", zeros(300000)}, {"\x01CompObj", zeros(40)}});
    PresentationBuilder large = presentation({{oleShape(1025, 1, true)}});
    large.addStream("Pictures", zeros(300000));
    const std::vector<Bytes> records{exOleObjStg(frontLoaded(workbook)), exOleObjStg(workbook),
                                     exOleObjStg(frontLoaded(large.compoundFile())),
                                     exOleObjStg(large.compoundFile())};
    PassRun run(presentationFile({{oleShape(1025, 1, true)}}, records));
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), 3);
    for (std::size_t i = 0; i < 2; ++i) {
        const StoredRecord stored = storedObject(run.output.path(), objectPersistId(1, i));
        EXPECT_EQ(exOleObjStg(embeddedFile(stored)), records[i]) << "object " << i;
    }
    for (std::size_t i = 2; i < 4; ++i) {
        const Bytes repaired = embeddedFile(storedObject(run.output.path(), objectPersistId(1, i)));
        EXPECT_EQ(flattenedIn(repaired), 0) << "object " << i;
        TempFile file;
        writeFile(file.path(), repaired);
        EXPECT_EQ(readStream(file.path(), "Pictures").size(), 300000u) << "object " << i;
    }
}

// A document with these external object lists, one slide, and the same embedded presentation
// (with one flattened shape) stored twice, as objects 3 and 4. Only object 3 must be repaired,
// once.
void ExpectOnlyObjectThreeRepaired(const std::vector<Bytes>& objectLists) {
    const Bytes inner = presentationFile({{oleShape(1025, 1, true)}});
    PresentationBuilder b;
    b.add(documentContainer(objectLists));
    b.add(slide({oleShape(1025, 1, false)}));
    b.add(exOleObjStg(inner));
    b.add(exOleObjStg(inner));
    PassRun run(b.compoundFile());
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), 1);
    EXPECT_EQ(flattenedIn(embeddedFile(storedObject(run.output.path(), 3))), 0);
    EXPECT_EQ(embeddedFile(storedObject(run.output.path(), 4)), inner);
}

TEST(EmbeddedRepairTest, OnlyTheFirstExternalObjectListIsScanned) {
    ExpectOnlyObjectThreeRepaired({exObjList({exEmbed(1, 3)}), exObjList({exEmbed(2, 4)})});
}

TEST(EmbeddedRepairTest, LinkedObjectsAndRepeatedReferencesAreNotRepairedTwice) {
    // Two ExEmbeds name the same storage; a third object is a link (type 1).
    ExpectOnlyObjectThreeRepaired({exObjList({exEmbed(1, 3), exEmbed(2, 3), exEmbed(3, 4, 1)})});
}

}  // namespace
