#include <gtest/gtest.h>

#include "ScratchFolder.h"
#include "repair/EmbeddedPPT.h"
#include "repair/RepairFixtures.h"
#include "repair/UnpackBudget.h"
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

// Inputs forged to exhaust the disk or the nesting: what embedded objects unpack to is bounded
// per repair pass, and so is the depth of the presentations examined.
constexpr std::uint32_t kStorageId = 3;  // a deck of one slide: document, slide, object

// A flattened presentation with a "Pictures" stream of `padding` zero bytes, which compresses
// a thousandfold, and the given embedded objects.
Bytes paddedPresentation(std::size_t padding, const std::vector<Bytes>& storageRecords = {}) {
    PresentationBuilder b = buildDeck({{{oleShape(1025, 1, true)}}, storageRecords});
    b.addStream("Pictures", zeros(padding));
    return b.compoundFile();
}

// A small file whose embedded presentation unpacks to more than the allowance: the object is
// passed over like a damaged one and keeps its stored bytes; the rest is repaired. A hole that
// makes the file look a thousand times larger gives no larger allowance.
TEST(HostileInputTest, EmbeddedObjectBeyondTheAllowanceKeepsItsStoredBytes) {
    const Bytes bomb = exOleObjStg(paddedPresentation(UnpackBudget::kFloorBytes));
    const Bytes outer = presentationFile({{oleShape(1025, 1, true)}}, {bomb});
    ASSERT_LT(outer.size() * UnpackBudget::kRatio, UnpackBudget::kFloorBytes);
    for (const std::uint64_t length : {std::uint64_t{0}, std::uint64_t{1} << 30}) {
        PassRun run(outer, length);
        ASSERT_EQ(run.outcome, 0) << run.message;
        EXPECT_EQ(run.fixFile.fixedCount(), 1);
        EXPECT_EQ(storedObject(run.repaired(), kStorageId).whole(), bomb);
    }
}

// Sector numbers have 32 bits: a file longer than they reach can't be a presentation, however
// small the presentation at its start.
TEST(HostileInputTest, FileLongerThanACompoundFileCanBeIsRefused) {
    const Bytes file = presentationFile({{oleShape(1025, 1, true)}});
    const std::uint64_t longest = 512 + (std::uint64_t{0xFFFFFFFB} << 9);
    {
        ScratchFolder scratch;
        std::error_code error;
        WriteFileBytes(scratch / "probe", "");
        std::filesystem::resize_file(scratch / "probe", longest + 1, error);
        if (error) {
            GTEST_SKIP() << "no sparse file of " << longest + 1
                         << " bytes here: " << error.message();
        }
    }
    EXPECT_EQ(PassRun(file, longest).outcome, 0);
    const PassRun tooLong(file, longest + 1);
    EXPECT_EQ(tooLong.outcome, 2);
    EXPECT_EQ(tooLong.message,
              "The selected file is not a PowerPoint 97-2003 PPT file. This tool can only repair "
              "PPT files.");
}

// Each level fits on its own, so the middle one is repaired, but the allowance is shared by all
// levels: the innermost one, which no longer fits, keeps its stored bytes inside the middle one.
TEST(HostileInputTest, AllowanceIsSharedByAllNestingLevels) {
    const std::size_t padding = UnpackBudget::kFloorBytes * 5 / 8;
    const Bytes innermost = exOleObjStg(paddedPresentation(padding));
    const Bytes middle = paddedPresentation(padding, {innermost});
    PassRun run(presentationFile({{oleShape(1025, 1, true)}}, {exOleObjStg(middle)}));
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), 2);
    const Bytes repairedMiddle = embeddedFile(storedObject(run.repaired(), kStorageId));
    EXPECT_EQ(flattenedShapes(repairedMiddle), 0);
    EXPECT_EQ(storedObject(repairedMiddle, kStorageId).whole(), innermost);
}

// A chain of presentations, each embedding the next, deeper than the depth limit: the levels
// within it are repaired, the first one beyond it keeps its stored bytes.
TEST(HostileInputTest, NestingBeyondTheDepthLimitIsLeftAsStored) {
    const int levels = EmbeddedPPT::kMaxDepth + 3;
    std::vector<Bytes> files{presentationFile({{oleShape(1025, 1, true)}})};
    for (int level = 1; level < levels; ++level) {
        files.push_back(presentationFile({{oleShape(1025, 1, true)}}, {exOleObjStg(files.back())}));
    }
    PassRun run(files.back());
    ASSERT_EQ(run.outcome, 0) << run.message;
    EXPECT_EQ(run.fixFile.fixedCount(), EmbeddedPPT::kMaxDepth + 1);

    // Walk down the repaired chain to the deepest presentation that was examined.
    Bytes current = run.repaired();
    for (int depth = 0; depth < EmbeddedPPT::kMaxDepth; ++depth) {
        EXPECT_EQ(flattenedShapes(current), 0) << "depth " << depth;
        current = embeddedFile(storedObject(current, kStorageId));
    }
    EXPECT_EQ(flattenedShapes(current), 0);
    const std::size_t beyond = static_cast<std::size_t>(levels - EmbeddedPPT::kMaxDepth - 2);
    EXPECT_EQ(storedObject(current, kStorageId).whole(), exOleObjStg(files[beyond]));
}

}  // namespace
