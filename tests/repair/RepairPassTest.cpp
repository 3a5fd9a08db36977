#include <gtest/gtest.h>

#include <tuple>

#include "FileSizeCap.h"
#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "platform/MemoryReadableFile.h"
#include "pptformat/CurrentUser.h"
#include "pptformat/Document.h"
#include "repair/EmbeddedPPT.h"
#include "repair/FixFile.h"
#include "repair/RepairPass.h"
#include "repair/UnpackBudget.h"
#include "streams/LittleEndian.h"
#include "streams/TempFile.h"
#include "support/CountingProgress.h"
#include "support/Deck.h"
#include "support/FrontLoaded.h"
#include "support/PresentationBuilder.h"
#include "support/Records.h"

using namespace fixtures;
namespace fs = std::filesystem;

namespace {

// One repair pass over the given file bytes, in a temporary folder of its own; with `length`
// above the bytes' size, the input goes on with a hole up to that length. The pass must ask for
// its output once when it repairs and never otherwise, leave no other file behind and the input
// as it was. Unless `check` is false, the check pass over the same input must agree with it (the
// same outcome and count, the same message for nothing found and for an error), with a
// temporary folder that does not exist, so that any temporary file fails it.
struct PassRun {
    explicit PassRun(const Bytes& file, std::uint64_t length = 0, bool check = true) {
        writeFile(input, file);
        if (length > file.size()) {
            fs::resize_file(input, length);
        }
        int outputRequests = 0;
        outcome = RunRepairPass(
            input, fixFile,
            [&]() -> TempFile& {
                ++outputRequests;
                output = std::make_unique<TempFile>();
                return *output;
            },
            message);
        EXPECT_EQ(outputRequests, outcome == 0 ? 1 : 0) << message;
        for (const auto& entry : fs::directory_iterator(temp.path())) {
            EXPECT_TRUE(entry.path() == input || (output && entry.path() == output->path()))
                << entry.path() << " left behind; " << message;
        }
        if (length <= file.size()) {
            EXPECT_EQ(readFile(input), file) << message;
        }
        if (check && message.rfind("Verification", 0) != 0) {  // only a written output fails so
            const ScopedTmpdir missing((temp / "missing").string());
            FixFile counted;
            std::string checkMessage;
            EXPECT_EQ(RunCheckPass(input, counted, checkMessage), outcome) << checkMessage;
            EXPECT_EQ(counted.fixedCount(), fixFile.fixedCount());
            EXPECT_EQ(checkMessage, outcome == 0 ? checkMessage : message);
            EXPECT_FALSE(fs::exists(temp / "missing"));
        }
    }
    Bytes repaired() const { return readFile(output->path()); }
    // The count of repaired objects; -1 when the pass did not repair.
    int repairedCount() const { return outcome == 0 ? fixFile.fixedCount() : -1; }

    ScratchFolder temp;
    ScopedTmpdir tmpdir{temp.path().string()};
    fs::path input = temp / "input.ppt";
    std::unique_ptr<TempFile> output;
    FixFile fixFile;
    std::string message;
    int outcome;
};

// The compound file of a presentation with one slide per shape list, and an external object
// list naming one embedded object per ExOleObjStg record given (object i has exObjId i + 1).
Bytes presentationFile(const std::vector<std::vector<Bytes>>& slides,
                       const std::vector<Bytes>& storageRecords = {}) {
    return buildDeck({slides, storageRecords}).compoundFile();
}

// A presentation with one flattened shape and the given embedded objects; with `padding`, a
// "Pictures" stream of that many zero bytes besides, which compresses a thousandfold.
Bytes flattenedFile(const std::vector<Bytes>& storageRecords = {}, std::size_t padding = 0) {
    PresentationBuilder b = buildDeck({{{oleShape(1025, 1, true)}}, storageRecords});
    if (padding > 0) {
        b.addStream("Pictures", zeros(padding));
    }
    return b.compoundFile();
}

// What `use` makes of the loaded document of the presentation file.
template <typename Use>
auto withDocument(const Bytes& file, Use use) {
    OLEStorage storage;
    storage.open(std::make_unique<MemoryReadableFile>(file), "presentation.ppt");
    CurrentUser user(storage);
    Document document(storage);
    if (!document.load(user.offsetToCurrentEdit())) {
        throw std::runtime_error("not a plain presentation");
    }
    return use(document);
}

// The whole content of a root stream of the compound file given as bytes.
Bytes streamOf(const Bytes& file, const std::string& name) {
    TempFile path;
    writeFile(path.path(), file);
    return readStream(path.path(), name);
}

// The top record of object `persistId` in the presentation file: header and body.
Bytes storedObject(const Bytes& file, std::uint32_t persistId) {
    const std::uint32_t offset = withDocument(file, [&](Document& document) {
        const PersistEntry* entry = document.persistDirectory().find(persistId);
        if (entry == nullptr) {
            throw std::runtime_error("no such object");
        }
        return entry->offset;
    });
    const Bytes stream = streamOf(file, "PowerPoint Document");
    const std::uint8_t* header = stream.data() + offset;
    return Bytes(header, header + 8 + LittleEndian::readU32(header + 4));
}

// The compound file held by an ExOleObjStg record (inflated when its instance is 1).
Bytes embeddedFile(const Bytes& record) {
    if ((LittleEndian::readU16(record.data()) >> 4) != 1) {
        return Bytes(record.begin() + 8, record.end());
    }
    return zlibUncompress(Bytes(record.begin() + 12, record.end()),
                          LittleEndian::readU32(record.data() + 8));
}

// How many flattened OLE shapes the presentation still has (not counting embedded ones).
int flattenedShapes(const Bytes& file) {
    return withDocument(file, [](Document& document) {
        CountingProgress progress;
        document.fixOleShapes(progress);
        return progress.steps;
    });
}

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
    ASSERT_EQ(run.repairedCount(), 1) << run.message;
    const Bytes repaired = storedObject(run.repaired(), objectPersistId(1, 0));
    const Bytes rewritten = storedObject(run.repaired(), objectPersistId(1, 1));
    for (const Bytes* stored : {&repaired, &rewritten}) {
        EXPECT_EQ(LittleEndian::readU16(stored->data()), 0x0010);  // compressed
        EXPECT_EQ(LittleEndian::readU32(stored->data() + 4), stored->size() - 8);
    }
    EXPECT_EQ(flattenedShapes(embeddedFile(repaired)), 0);
    EXPECT_EQ(flattenedShapes(flattened), 1);
    EXPECT_EQ(streamOf(embeddedFile(rewritten), "PowerPoint Document"),
              buildDeck({{{pictureShape(1025)}}, {}}).documentStream());
    EXPECT_EQ(streamOf(run.repaired(), "Current User").size(),
              readStream(run.input, "Current User").size());
}

// Objects that are not examined, or cannot be, keep their stored bytes exactly. Objects larger
// than the head that is unpacked first are told apart whether their directory lies at the front
// (as the platform writes embedded objects) or at the end: only presentations are repaired.
TEST(EmbeddedRepairTest, OnlyPlainPresentationsAreRepairedAndTheRestKeepTheirBytes) {
    PresentationBuilder encrypted = buildDeck({{{oleShape(1025, 1, true)}}, {}});
    encrypted.setToken(kEncryptedToken);
    const Bytes book = workbook(5000);
    Bytes corrupt = exOleObjStg(book);
    corrupt[8 + 4 + 10] ^= 0xFF;  // damage the deflate data
    const Bytes largeBook = workbook(300000);
    const Bytes large = flattenedFile({}, 300000);
    const std::vector<Bytes> records{exOleObjStg(encrypted.compoundFile()),
                                     exOleObjStg(book),
                                     exOleObjStg(flattenedFile(), false),
                                     corrupt,
                                     exOleObjStg(text("not a compound file")),
                                     exOleObjStg(frontLoaded(largeBook)),
                                     exOleObjStg(largeBook),
                                     exOleObjStg(frontLoaded(large)),
                                     exOleObjStg(large)};
    PassRun run(flattenedFile(records));
    ASSERT_EQ(run.repairedCount(), 3) << run.message;
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE("object " + std::to_string(i));
        const Bytes stored = storedObject(run.repaired(), objectPersistId(1, i));
        if (i < 5) {
            EXPECT_EQ(stored, records[i]);
        } else if (i < 7) {
            EXPECT_EQ(exOleObjStg(embeddedFile(stored)), records[i]);
        } else {
            EXPECT_EQ(flattenedShapes(embeddedFile(stored)), 0);
            EXPECT_EQ(streamOf(embeddedFile(stored), "Pictures").size(), 300000u);
        }
    }
}

// Only the first external object list is scanned, links are not embedded objects, and a storage
// named twice is repaired once. Each document has one slide and the same embedded presentation
// (with one flattened shape) stored twice, as objects 3 and 4; only object 3 must be repaired.
TEST(EmbeddedRepairTest, OnlyTheFirstListsEmbeddedObjectsAreRepairedOnce) {
    const Bytes inner = flattenedFile();
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
        ASSERT_EQ(run.repairedCount(), 1) << run.message;
        EXPECT_EQ(flattenedShapes(embeddedFile(storedObject(run.repaired(), 3))), 0);
        EXPECT_EQ(embeddedFile(storedObject(run.repaired(), 4)), inner);
    }
}

// Inputs forged to exhaust the disk or the nesting: what embedded objects unpack to is bounded
// per repair pass, and so is the depth of the presentations examined.
constexpr std::uint32_t kStorageId = 3;  // a deck of one slide: document, slide, object

// A small file whose embedded presentation unpacks to more than the allowance: the object is
// passed over like a damaged one and keeps its stored bytes; the rest is repaired. A hole that
// makes the file look a thousand times larger gives no larger allowance.
TEST(HostileInputTest, EmbeddedObjectBeyondTheAllowanceKeepsItsStoredBytes) {
    const Bytes bomb = exOleObjStg(flattenedFile({}, UnpackBudget::kFloorBytes));
    const Bytes outer = flattenedFile({bomb});
    ASSERT_LT(outer.size() * UnpackBudget::kRatio, UnpackBudget::kFloorBytes);
    for (const std::uint64_t length : {std::uint64_t{0}, std::uint64_t{1} << 30}) {
        PassRun run(outer, length);
        ASSERT_EQ(run.repairedCount(), 1) << run.message;
        EXPECT_EQ(storedObject(run.repaired(), kStorageId), bomb);
    }
}

// Sector numbers have 32 bits: a file longer than they reach can't be a presentation, however
// small the presentation at its start.
TEST(HostileInputTest, FileLongerThanACompoundFileCanBeIsRefused) {
    const Bytes file = flattenedFile();
    const std::uint64_t longest = 512 + (std::uint64_t{0xFFFFFFFB} << 9);
    std::unique_ptr<PassRun> tooLong;
    try {
        tooLong = std::make_unique<PassRun>(file, longest + 1);
    } catch (const std::filesystem::filesystem_error& error) {
        GTEST_SKIP() << "no sparse file of " << longest + 1 << " bytes here: " << error.what();
    }
    EXPECT_EQ(tooLong->outcome, 2);
    EXPECT_EQ(tooLong->message, kNotPowerPoint);
    EXPECT_EQ(PassRun(file, longest).outcome, 0);
}

// Each level fits on its own, so the middle one is repaired, but the allowance is shared by all
// levels: the innermost one, which no longer fits, keeps its stored bytes inside the middle one.
TEST(HostileInputTest, AllowanceIsSharedByAllNestingLevels) {
    const std::size_t padding = UnpackBudget::kFloorBytes * 5 / 8;
    const Bytes innermost = exOleObjStg(flattenedFile({}, padding));
    const Bytes middle = flattenedFile({innermost}, padding);
    PassRun run(flattenedFile({exOleObjStg(middle)}));
    ASSERT_EQ(run.repairedCount(), 2) << run.message;
    const Bytes repairedMiddle = embeddedFile(storedObject(run.repaired(), kStorageId));
    EXPECT_EQ(flattenedShapes(repairedMiddle), 0);
    EXPECT_EQ(storedObject(repairedMiddle, kStorageId), innermost);
}

// A chain of presentations, each embedding the next, deeper than the depth limit: the levels
// within it are repaired, the first one beyond it keeps its stored bytes.
TEST(HostileInputTest, NestingBeyondTheDepthLimitIsLeftAsStored) {
    const int levels = EmbeddedPPT::kMaxDepth + 3;
    std::vector<Bytes> files{flattenedFile()};
    for (int level = 1; level < levels; ++level) {
        files.push_back(flattenedFile({exOleObjStg(files.back())}));
    }
    PassRun run(files.back());
    ASSERT_EQ(run.repairedCount(), EmbeddedPPT::kMaxDepth + 1) << run.message;

    // Walk down the repaired chain to the deepest presentation that was examined.
    Bytes current = run.repaired();
    for (int depth = 0; depth < EmbeddedPPT::kMaxDepth; ++depth) {
        EXPECT_EQ(flattenedShapes(current), 0) << "depth " << depth;
        current = embeddedFile(storedObject(current, kStorageId));
    }
    EXPECT_EQ(flattenedShapes(current), 0);
    const std::size_t beyond = static_cast<std::size_t>(levels - EmbeddedPPT::kMaxDepth - 2);
    EXPECT_EQ(storedObject(current, kStorageId), exOleObjStg(files[beyond]));
}

// When the machine cannot unpack an embedded presentation (one with a flattened shape whose
// compound file unpacks to far more than the outer file takes on disk), the pass fails: skipping
// the object as if its data were damaged would report a repair that left it flattened.
TEST(HostileInputTest, FullDiskWhileUnpackingFailsThePass) {
    const Bytes file = flattenedFile({exOleObjStg(flattenedFile({}, 1 << 20))});
    const FileSizeCap cap(file.size() * 4);
    if (!cap.active()) {
        GTEST_SKIP() << "no file size cap on this system";
    }
    const PassRun run(file, 0, false);
    EXPECT_EQ(run.outcome, 2);
    EXPECT_EQ(run.message, "I/O exception [errno(27) - File too large]");
}

}  // namespace
