#include <gtest/gtest.h>

#include <stdexcept>

#include "errors/IOException.h"
#include "pptformat/PropertyRecord.h"
#include "streams/OLEStreamInputStream.h"
#include "support/MessageOf.h"
#include "support/OpenedCompoundFile.h"
#include "support/Records.h"

using namespace fixtures;

namespace {

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

// A property table whose stated length is `delta` bytes off its real content.
Bytes tableWithLength(const std::vector<Property>& properties, int delta) {
    Bytes table = propertyTable(properties);
    const auto length = static_cast<std::uint32_t>(static_cast<int>(table.size()) - 8 + delta);
    const Bytes h = header(0xF00B, length, static_cast<std::uint16_t>(properties.size()), 3);
    std::copy(h.begin(), h.end(), table.begin());
    return table;
}

// Entries are found by their id without the flag bits; the shape's flags are read from the
// record before the table, also for an empty table, and repaired flags go back into its bytes.
TEST(PropertyRecordTest, EntriesAndShapeBytes) {
    ParsedTable t(withTable(propertyTable({{kPib, 1}, {0x4000 | kPictureId, 7}})));
    const auto record = t.parse();
    EXPECT_TRUE(record->hasProperty(kPib));
    EXPECT_TRUE(record->hasProperty(kPictureId));
    EXPECT_FALSE(record->hasProperty(kUnusedProperty));
    EXPECT_EQ(record->shapeFlags(), 0xA10u);
    EXPECT_EQ(record->shapeRecord(), t.shape);
    const auto withoutShape = t.parse(false);
    EXPECT_EQ(withoutShape->shapeFlags(), 0u);
    EXPECT_EQ(withoutShape->shapeRecord(), nullptr);

    ParsedTable empty(withTable(propertyTable({})));
    const auto emptyRecord = empty.parse();
    EXPECT_FALSE(emptyRecord->hasProperty(kPib));
    const std::uint8_t* before = emptyRecord->shapeBytes().data();
    emptyRecord->setShapeFlags(0xA00);
    EXPECT_EQ(emptyRecord->shapeBytes().data(), before);
    EXPECT_EQ(emptyRecord->shapeBytes(),
              (std::array<std::uint8_t, 8>{0x01, 0x04, 0, 0, 0x00, 0x0A, 0, 0}));
}

TEST(PropertyRecordTest, OverrunFailsTheLoadOnlyAfterAPib) {
    // One byte short of the second entry: the entries overrun the table.
    ParsedTable withPib(
        {shapeRecord(1025, 0xA10), tableWithLength({{kPib, 1}, {0x007F, 0}}, -1), zeros(8)});
    EXPECT_EQ(messageOf([&] { withPib.parse(); }),
              "Property record size exception [Container length overrun]");
    ParsedTable withoutPib(
        {shapeRecord(1025, 0xA10), tableWithLength({{0x007F, 0}, {kPib, 1}}, -1), zeros(8)});
    EXPECT_THROW(withoutPib.parse(), std::runtime_error);
}

TEST(PropertyRecordTest, SecondaryAndTertiaryTablesAreSkippedNotSearched) {
    const Bytes secondary = atom(0xF121, concat({u16(kPictureId), u32(1)}), 1, 3);
    const Bytes tertiary = atom(
        0xF122, concat({u16(0x8000 | kPictureId), u32(4), u16(0x0001), u32(0), zeros(4)}), 2, 3);
    ParsedTable t({shapeRecord(1025, 0xA10), propertyTable({{kPib, 1}}), secondary, tertiary,
                   atom(0xF011, {})});
    const auto record = t.parse();
    EXPECT_FALSE(record->hasProperty(kPictureId));
    EXPECT_EQ(record->shapeFlags(), 0xA10u);
    // Without the record behind the tertiary table, the parse fails.
    ParsedTable cut({shapeRecord(1025, 0xA10), propertyTable({{kPib, 1}}), secondary, tertiary});
    EXPECT_THROW(cut.parse(), IOException);
}

// Complex data may reach past the table's end, but not past the stream's; nor may a table at
// the very end of the stream.
TEST(PropertyRecordTest, ComplexDataMayReachPastTheTableButNotPastTheStream) {
    const Bytes table = atom(0xF00B, concat({u16(0x8000 | 0x0145), u32(40)}), 1, 3);
    ParsedTable t({shapeRecord(1025, 0xA10), table, atom(0xF011, zeros(40)), zeros(8)});
    EXPECT_NO_THROW(t.parse());
    const Bytes hugeComplex = atom(0xF00B, concat({u16(0x8000 | 0x0145), u32(0x7FFFFFF0)}), 1, 3);
    for (const auto& objects : std::vector<std::vector<Bytes>>{
             withTable(hugeComplex), {shapeRecord(1025, 0xA10), propertyTable({{kPib, 1}})}}) {
        ParsedTable past(objects);
        EXPECT_THROW(past.parse(), IOException);
    }
}

}  // namespace
