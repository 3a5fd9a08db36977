#include <gtest/gtest.h>

#include "FileSizeCap.h"
#include "pptformat/PropertyRecord.h"
#include "pptformat/Record.h"
#include "streams/FileOutputStream.h"
#include "streams/LittleEndian.h"
#include "streams/OLEStreamInputStream.h"
#include "support/MemoryInputStream.h"
#include "support/MemoryOutputStream.h"
#include "support/MessageOf.h"
#include "support/OpenedCompoundFile.h"
#include "support/Records.h"

using namespace fixtures;

namespace {

// Reads one object at offset 0 of `stream` into a fresh list.
RecordList readTree(const Bytes& stream) {
    RecordList list;
    MemoryInputStream in(stream);
    Record::readRecordTree(list, in, 0);
    return list;
}

void fillFile(const TempFile& file, const Bytes& data) {
    FileOutputStream out(file.openWriter());
    out.write(data.data(), data.size());
    out.close();
}

// A stored body is copied from the source; a zero-length atom is its header alone and never
// touches the source; a memory body wins over a temporary one.
TEST(RecordTest, BodiesComeFromMemoryTheTemporaryFileOrTheSourceAndFitTheLength) {
    const Bytes stored = atom(0x0428, text("body!"), 0, 0xF);  // type 0x0428 is always an atom
    OpenedCompoundFile file({{"S", concat({zeros(5), stored})}});
    OLEStream source;
    ASSERT_TRUE(source.open(file.storage, "S"));
    MemoryOutputStream out;
    EXPECT_EQ(Record({0x000F, 0x0428, 5}, 13).write(out, source), 13u);
    EXPECT_EQ(out.data, stored);

    OLEStream unopened;  // any read or seek on it would throw
    MemoryOutputStream empty;
    EXPECT_EQ(Record({0x0010, 0x03EA, 0}, 100).write(empty, unopened), 8u);
    EXPECT_EQ(empty.data, header(0x03EA, 0, 1));

    Record record({0x0002, 0xF00A, 8}, 0);
    fillFile(record.tempFile(), text("tempbody"));
    const Bytes memory = text("memory!!");
    record.setMemoryBody(memory.data(), memory.size());
    MemoryOutputStream both;
    record.write(both, unopened);
    EXPECT_EQ(both.data, concat({header(0xF00A, 8, 0, 2), memory}));

    // A body in the temporary file gets its size in front for instance 1 only; a body must fill the
    // record's length, and the length must fit 32 bits.
    const Bytes body = text("packed");
    for (std::uint16_t verInstance : {0x0010, 0x0000, 0x0020}) {
        const bool prefixed = verInstance == 0x0010;
        Record record({verInstance, 0x1011, 0}, 0);
        fillFile(record.tempFile(), body);
        record.setUncompressedSize(0x01020304);
        record.setLength(body.size() + (prefixed ? 4 : 0));
        MemoryOutputStream out;
        EXPECT_EQ(record.write(out, unopened), 8 + record.length());
        const Bytes expected = prefixed ? concat({header(0x1011, 10, 1), u32(0x01020304), body})
                                        : concat({header(0x1011, 6, verInstance >> 4), body});
        EXPECT_EQ(out.data, expected) << verInstance;
    }
    // A body of another size than the length is refused, in memory or in the temporary file.
    Record inMemory({0x0002, 0xF00A, 12}, 0);
    inMemory.setMemoryBody(body.data(), body.size());
    Record inTempFile({0x0000, 0x1011, 7}, 0);
    fillFile(inTempFile.tempFile(), body);
    for (const Record* record : {&inMemory, &inTempFile}) {
        MemoryOutputStream out;
        EXPECT_EQ(messageOf([&] { record->write(out, unopened); }),
                  "I/O exception [Record body size mismatch]");
    }
    Record huge({0, 0x1011, 0}, 0);
    EXPECT_EQ(messageOf([&] { huge.setLength(std::uint64_t{1} << 32); }),
              "I/O exception [Record too large]");
    huge.setLength(UINT32_MAX);
    EXPECT_EQ(huge.length(), UINT32_MAX);
}

TEST(RecordTest, CompressFailureKeepsTheOldBody) {
    Record record({0x0000, 0x1011, 0}, 0);
    fillFile(record.tempFile(), text("the old body"));
    const std::filesystem::path old = record.tempFile().path();
    {
        const FileSizeCap cap(4);  // no room for the packed body
        if (!cap.active()) {
            GTEST_SKIP() << "no file size cap on this system";
        }
        EXPECT_FALSE(record.compress());
    }
    EXPECT_EQ(record.tempFile().path(), old);
    EXPECT_EQ(readFile(old), text("the old body"));
}

// The records of one object in stream order; an atom's body is skipped, not read, so that only
// the header is asked of the stream.
TEST(RecordTreeTest, NestedObjectIsFlattenedInStreamOrderAndMayNotOverrun) {
    const Bytes object =
        container(0x03EE, {atom(0x03EF, zeros(24)), container(0x040C, {atom(0xF008, zeros(8))}),
                           atom(0x0428, zeros(3), 0, 0xF)});
    const RecordList list = readTree(object);
    std::vector<std::uint16_t> types;
    for (const Record& r : list) {
        types.push_back(r.type());
    }
    EXPECT_EQ(types, (std::vector<std::uint16_t>{0x03EE, 0x03EF, 0x040C, 0xF008, 0x0428}));
    EXPECT_EQ(list[3].bodyOffset(), 8u + 32u + 8u + 8u);
    EXPECT_EQ(Record::checkContainer(list, 0), 4u);

    MemoryInputStream in(concat({atom(0x1011, zeros(100)), text("garbage after the object")}));
    RecordList single;
    Record::readRecordTree(single, in, 0);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].length(), 100u);
    EXPECT_EQ(in.requests.size(), 1u);

    // An object that fills its container exactly completes; one byte more overruns.
    const Bytes exact = container(0x03E8, {atom(0x03E9, zeros(4)), atom(0x03EA, {})});
    EXPECT_EQ(readTree(exact).size(), 3u);

    Bytes longerChild = exact;
    longerChild[8 + 4] += 1;  // first child's length 4 -> 5: overruns the object
    for (const Bytes& object : {
             concat({longerChild, zeros(16)}),
             // Inside a 20-byte container an atom claims 30 bytes: the walk still reads the
             // header that follows, and reports the stream's error when there is none.
             concat({header(0x03E8, 20, 0, 0xF), header(0x03E9, 30), zeros(38)}),
             header(0x03E8, 0x80000000u, 0, 0xF),  // a huge length overruns at once
         }) {
        EXPECT_EQ(messageOf([&] { readTree(object); }), "I/O exception [Record length overrun]");
    }

    // A nested container one byte longer than its parent allows.
    Bytes forged =
        container(0x03E8, {container(0x040C, {atom(0xF008, zeros(4))}), atom(0x03EA, zeros(1))});
    forged[8 + 4] += 1;  // inner container 12 -> 13
    const RecordList forgedList = readTree(forged);
    EXPECT_EQ(messageOf([&] { Record::checkContainer(forgedList, 0); }),
              "I/O exception [Container length overrun]");
}

TEST(RecordTreeTest, DeepNestingIsCheckedWithoutRecursion) {
    constexpr std::uint32_t kDepth = 100000;
    Bytes object;
    for (std::uint32_t level = kDepth; level >= 1; --level) {
        const Bytes h = header(0x1000, 10 + 8 * (level - 1), 0, 0xF);
        object.insert(object.end(), h.begin(), h.end());
    }
    const Bytes innermost = atom(0x0FBA, zeros(2));
    object.insert(object.end(), innermost.begin(), innermost.end());
    const RecordList list = readTree(object);
    ASSERT_EQ(list.size(), 100001u);
    EXPECT_EQ(Record::checkContainer(list, 0), 100000u);
}

// Records of a Document stream, each read as an object of its own, through the same kind of
// stream the Document uses, so that reads past the end fail as they do there.
struct ParsedTable {
    explicit ParsedTable(const std::vector<Bytes>& objects)
        : file({{"PowerPoint Document", concat(objects)}}) {
        ole.open(file.storage, "PowerPoint Document");
        OLEStreamInputStream in(ole);
        std::uint64_t offset = 0;
        for (const Bytes& object : objects) {
            if (object.size() >= 8) {
                Record::readRecordTree(records, in, offset);
            }
            offset += object.size();
        }
        for (Record& r : records) {
            if (r.type() == 0xF00A) {
                shape = &r;
            }
            if (r.type() == 0xF00B && table == nullptr) {
                table = &r;
            }
        }
    }
    std::unique_ptr<PropertyRecord> parse(bool withShape = true) {
        OLEStreamInputStream in(ole);
        return std::make_unique<PropertyRecord>(*table, in, withShape ? shape : nullptr);
    }

    OpenedCompoundFile file;
    OLEStream ole;
    RecordList records;
    Record* shape = nullptr;
    Record* table = nullptr;
};

std::vector<Bytes> withTable(const Bytes& table, const Bytes& after = atom(0xF011, {})) {
    return {shapeRecord(1025, 0xA10), table, after};
}

// A property table that states one byte less than its entries take.
Bytes shortTable(const std::vector<Property>& properties) {
    Bytes table = propertyTable(properties);
    LittleEndian::writeU32(table.data() + 4, static_cast<std::uint32_t>(table.size() - 9));
    return table;
}

// Entries are found by their id without the flag bits, and the shape's flags are read from the
// record before the table. Secondary and tertiary tables are skipped, not searched, but must be
// whole; complex data may reach past the table's end, not past the stream's, nor may a table at the
// stream's very end; entries that overrun their table fail the load only after a pib.
TEST(PropertyRecordTest, TablesParseAsFarAsTheirStreamAllowsAndFlagsGoBackIntoTheShape) {
    const Bytes shape = shapeRecord(1025, 0xA10);
    const Bytes pib = propertyTable({{kPib, 1}, {0x4000 | kUnusedProperty, 7}});
    const Bytes secondary = atom(0xF121, concat({u16(kPictureId), u32(1)}), 1, 3);
    const Bytes tertiary = atom(
        0xF122, concat({u16(0x8000 | kPictureId), u32(4), u16(0x0001), u32(0), zeros(4)}), 2, 3);
    ParsedTable t({shape, pib, secondary, tertiary, atom(0xF011, {})});
    const auto record = t.parse();
    EXPECT_TRUE(record->hasProperty(kPib));
    EXPECT_TRUE(record->hasProperty(kUnusedProperty));
    EXPECT_FALSE(record->hasProperty(kPictureId));
    EXPECT_EQ(record->shapeFlags(), 0xA10u);
    EXPECT_EQ(record->shapeRecord(), t.shape);
    const auto withoutShape = t.parse(false);
    EXPECT_EQ(withoutShape->shapeFlags(), 0u);
    EXPECT_EQ(withoutShape->shapeRecord(), nullptr);

    const auto complexTable = [](std::uint32_t size) {
        return atom(0xF00B, concat({u16(0x8000 | 0x0145), u32(size)}), 1, 3);
    };
    const char* const kPastTheEnd = "I/O exception [HRESULT(0) - reading 0 bytes from stream]";
    const std::pair<std::vector<Bytes>, std::string> cases[] = {
        {{shape, complexTable(40), atom(0xF011, zeros(40)), zeros(8)}, "no exception"},
        {withTable(complexTable(0x7FFFFFF0)), kPastTheEnd},
        {{shape, pib}, kPastTheEnd},
        {{shape, pib, secondary, tertiary}, kPastTheEnd},
        {{shape, shortTable({{kPib, 1}, {0x007F, 0}}), zeros(8)},
         "Property record size exception [Container length overrun]"},
        {{shape, shortTable({{0x007F, 0}, {kPib, 1}}), zeros(8)},
         "std::exception: Bad Property record"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(messageOf([&] { ParsedTable(cases[i].first).parse(); }), cases[i].second) << i;
    }

    // An empty table has no entries; repaired flags go back into the bytes of the shape record.
    ParsedTable empty(withTable(propertyTable({})));
    const auto emptyRecord = empty.parse();
    EXPECT_FALSE(emptyRecord->hasProperty(kPib));
    const std::uint8_t* before = emptyRecord->shapeBytes().data();
    emptyRecord->setShapeFlags(0xA00);
    EXPECT_EQ(emptyRecord->shapeBytes().data(), before);
    EXPECT_EQ(emptyRecord->shapeBytes(),
              (std::array<std::uint8_t, 8>{0x01, 0x04, 0, 0, 0x00, 0x0A, 0, 0}));
}

}  // namespace
