#include <gtest/gtest.h>

#include "repair/RepairFixtures.h"
#include "repair/RepairPass.h"
#include "support/FrontLoaded.h"
#include "support/Records.h"

using namespace fixtures;

namespace {

// A compound file as a spreadsheet program stores it, with a Workbook stream of `size` bytes.
Bytes workbook(std::size_t size) {
    return compoundFileBytes({{"Workbook", zeros(size)}, {"\001CompObj", zeros(40)}});
}

// The outer presentation has no flattened shape. Its embedded presentations are written back
// compressed: the flattened one repaired, the undamaged one rewritten all the same.
TEST(EmbeddedRepairTest, FlattenedShapeOnlyInsideAnEmbeddedPresentation) {
    const Bytes flattened = presentationFile({{oleShape(1025, 1, true), pictureShape(1026)}});
    const Bytes undamaged = presentationFile({{pictureShape(1025)}});
    PassRun run(presentationFile({{oleShape(1025, 1, false)}},
                                 {exOleObjStg(flattened), exOleObjStg(undamaged)}));
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), 1);
    const StoredRecord repaired = storedObject(run.repaired(), objectPersistId(1, 0));
    const StoredRecord rewritten = storedObject(run.repaired(), objectPersistId(1, 1));
    for (const StoredRecord* stored : {&repaired, &rewritten}) {
        EXPECT_EQ(stored->header.verInstance, 0x0010);
        EXPECT_EQ(stored->header.length, stored->body.size());
    }
    EXPECT_EQ(flattenedShapes(embeddedFile(repaired)), 0);
    EXPECT_EQ(flattenedShapes(flattened), 1);
    EXPECT_EQ(streamOf(embeddedFile(rewritten), "PowerPoint Document"),
              buildDeck({{{pictureShape(1025)}}, {}}).documentStream());
    EXPECT_EQ(streamOf(run.repaired(), "Current User").size(),
              readStream(run.input, "Current User").size());
}

// Objects that are not examined, or cannot be, keep their stored bytes exactly.
TEST(EmbeddedRepairTest, ObjectsThatAreNotPlainPresentationsKeepTheirBytes) {
    PresentationBuilder encrypted = buildDeck({{{oleShape(1025, 1, true)}}, {}});
    encrypted.setToken(kEncryptedToken);
    const Bytes book = workbook(5000);
    Bytes corrupt = exOleObjStg(book);
    corrupt[8 + 4 + 10] ^= 0xFF;  // damage the deflate data
    const std::vector<Bytes> records{
        exOleObjStg(encrypted.compoundFile()), exOleObjStg(book),
        exOleObjStg(presentationFile({{oleShape(1025, 1, true)}}), false), corrupt,
        exOleObjStg(text("not a compound file"))};
    PassRun run(presentationFile({{oleShape(1025, 1, true)}}, records));
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), 1);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(storedObject(run.repaired(), objectPersistId(1, i)).whole(), records[i])
            << "object " << i;
    }
}

// Objects larger than the head that is unpacked first: whether their directory lies at the front
// (as the platform writes embedded objects) or at the end, only presentations are repaired.
TEST(EmbeddedRepairTest, LargeObjectsAreToldApartWhereverTheirDirectoryLies) {
    const Bytes book = workbook(300000);
    PresentationBuilder large = buildDeck({{{oleShape(1025, 1, true)}}, {}});
    large.addStream("Pictures", zeros(300000));
    const std::vector<Bytes> records{exOleObjStg(frontLoaded(book)), exOleObjStg(book),
                                     exOleObjStg(frontLoaded(large.compoundFile())),
                                     exOleObjStg(large.compoundFile())};
    PassRun run(presentationFile({{oleShape(1025, 1, true)}}, records));
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), 3);
    for (std::size_t i = 0; i < 2; ++i) {
        const StoredRecord stored = storedObject(run.repaired(), objectPersistId(1, i));
        EXPECT_EQ(exOleObjStg(embeddedFile(stored)), records[i]) << "object " << i;
    }
    for (std::size_t i = 2; i < 4; ++i) {
        const Bytes repaired = embeddedFile(storedObject(run.repaired(), objectPersistId(1, i)));
        EXPECT_EQ(flattenedShapes(repaired), 0) << "object " << i;
        EXPECT_EQ(streamOf(repaired, "Pictures").size(), 300000u) << "object " << i;
    }
}

// Only the first external object list is scanned, links are not embedded objects, and a storage
// named twice is repaired once. Each document has one slide and the same embedded presentation
// (with one flattened shape) stored twice, as objects 3 and 4; only object 3 must be repaired.
TEST(EmbeddedRepairTest, OnlyTheFirstListsEmbeddedObjectsAreRepairedOnce) {
    const Bytes inner = presentationFile({{oleShape(1025, 1, true)}});
    for (const std::vector<Bytes>& objectLists : {
             std::vector<Bytes>{exObjList({exEmbed(1, 3)}), exObjList({exEmbed(2, 4)})},
             std::vector<Bytes>{exObjList({exEmbed(1, 3), exEmbed(2, 3), exEmbed(3, 4, 1)})},
         }) {
        PresentationBuilder b;
        b.add(documentContainer(objectLists));
        b.add(slide({oleShape(1025, 1, false)}));
        b.add(exOleObjStg(inner));
        b.add(exOleObjStg(inner));
        PassRun run(b.compoundFile());
        ASSERT_EQ(run.outcome, 0) << run.message;
        EXPECT_EQ(run.fixFile.fixedCount(), 1);
        EXPECT_EQ(flattenedShapes(embeddedFile(storedObject(run.repaired(), 3))), 0);
        EXPECT_EQ(embeddedFile(storedObject(run.repaired(), 4)), inner);
    }
}

}  // namespace
