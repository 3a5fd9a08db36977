#include <gtest/gtest.h>

#include "CfbTestSupport.h"
#include "cfb/FatBuilder.h"
#include "cfb/RootStreamProbe.h"
#include "cfb/TreeLayout.h"
#include "support/Deck.h"
#include "support/FrontLoaded.h"

namespace {

using cfb::EntryName;
using cfb::FatBuilder;
using cfb::TreeLayout;
using Presence = cfb::RootStreamProbe::Presence;
using namespace fixtures;

// Checks the binary search tree order and the red-black rules below `node`; returns the black
// height. `reached` counts the nodes: the order bounds make every node distinct.
int checkRedBlack(const std::vector<TreeLayout::Node>& nodes, std::uint32_t node, std::uint32_t low,
                  std::uint32_t high, bool parentRed, std::uint32_t& reached) {
    if (node == TreeLayout::kNone) {
        return 1;
    }
    EXPECT_GE(node, low);
    EXPECT_LT(node, high);
    ++reached;
    const TreeLayout::Node& n = nodes[node];
    EXPECT_FALSE(parentRed && n.red) << "red node " << node << " has a red parent";
    const int left = checkRedBlack(nodes, n.left, low, node, n.red, reached);
    const int right = checkRedBlack(nodes, n.right, node + 1, high, n.red, reached);
    EXPECT_EQ(left, right) << "black heights differ below " << node;
    return left + (n.red ? 0 : 1);
}

TEST(TreeLayoutTest, EverySizeGivesAValidRedBlackSearchTree) {
    std::vector<TreeLayout::Node> nodes;
    EXPECT_EQ(TreeLayout::build(0, &nodes), TreeLayout::kNone);
    for (std::uint32_t count = 1; count <= 600 && !HasFailure(); ++count) {
        SCOPED_TRACE(count);
        const std::uint32_t root = TreeLayout::build(count, &nodes);
        ASSERT_NE(root, TreeLayout::kNone);
        EXPECT_FALSE(nodes[root].red);
        std::uint32_t reached = 0;
        checkRedBlack(nodes, root, 0, count, false, reached);
        EXPECT_EQ(reached, count);
    }
}

TEST(EntryNameTest, ShorterNamesComeFirstThenUpperCaseOrderAndUtf8KeepsEveryCodeUnit) {
    EXPECT_LT(EntryName::compare(u"Zz", u"aaa"), 0);
    EXPECT_EQ(EntryName::compare(u"current user", u"Current User"), 0);
    EXPECT_LT(EntryName::compare(u"abc", u"ABD"), 0);
    // Upper-case mapping beyond ASCII: é and É, Greek, Cyrillic; ß has no single upper case.
    EXPECT_EQ(EntryName::compare(u"\u00e9t\u00e9", u"\u00c9T\u00c9"), 0);
    EXPECT_EQ(EntryName::compare(u"\u03b1\u03c9", u"\u0391\u03a9"), 0);
    EXPECT_EQ(EntryName::compare(u"\u0436", u"\u0416"), 0);
    EXPECT_EQ(EntryName::upperCase(u'\u00df'), u'\u00df');
    EXPECT_EQ(EntryName::upperCase(u'\u0101'), u'\u0100');  // a run of every other code unit
    EXPECT_EQ(EntryName::upperCase(u'\u0100'), u'\u0100');
    EXPECT_EQ(EntryName::upperCase(u'\u00ff'), u'\u0178');
    // Upper-case letters sort by their upper-case value, so '_' (0x5F) comes after 'Z' and 'z'.
    EXPECT_LT(EntryName::compare(u"z", u"_"), 0);
    // UTF-8 conversion keeps every code unit; ill-formed UTF-8 is refused.
    EXPECT_EQ(EntryName::fromUtf8("\x05SummaryInformation"), u"\u0005SummaryInformation");
    EXPECT_EQ(EntryName::fromUtf8("\xe4\xb8\xad\xf0\x9f\x98\x80"), u"\u4e2d\U0001F600");
    EXPECT_EQ(EntryName::toUtf8(u"\u4e2d\U0001F600"), "\xe4\xb8\xad\xf0\x9f\x98\x80");
    EXPECT_EQ(EntryName::toUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
    for (const char* bad : {"\xff", "\xc0\x80", "\xe0\x80\x80", "\xed\xa0\x80", "\xe4\xb8"}) {
        EXPECT_THROW(EntryName::fromUtf8(bad), cfb::Error) << bad;
    }
}

// Version 4 skips the sector holding the file's byte 0x7FFFFF00 (sector n starts at byte
// (n + 1) * 4096); version 3 refuses to grow up to it.
TEST(FatBuilderTest, Version4SkipsTheRangeLockSectorVersion3StopsBeforeIt) {
    FatBuilder fat(cfb::Version::V4);
    const std::uint32_t lock = 0x7FFFFF00 / 4096 - 1;
    FatBuilder::Tail tail;
    EXPECT_EQ(fat.append(tail, lock + 5).count, lock);  // cut short at the lock sector
    EXPECT_EQ(fat.append(tail, 5).first, lock + 1);
    std::uint8_t links[8];
    fat.fill(lock - 1, 2, links);
    EXPECT_EQ(LittleEndian::readU32(links), lock + 1);
    EXPECT_EQ(LittleEndian::readU32(links + 4), cfb::kEndOfChain);

    FatBuilder version3(cfb::Version::V3);
    FatBuilder::Tail tail3;
    version3.append(tail3, 0x7FFFFF00 / 512 - 1);
    EXPECT_EQ(cfbtest::errorKindOf([&] { version3.append(tail3, 1); }), cfb::ErrorKind::TooLarge);
}

Presence probe(const Bytes& file, std::size_t prefix, const std::u16string& name) {
    return cfb::RootStreamProbe::probe(file.data(), std::min(prefix, file.size()), name);
}

Bytes workbook() {
    return compoundFileBytes({{"Workbook", pattern(20000)}, {"\001CompObj", Bytes(50, 7)}});
}

// Files with their directory in the first sectors, as the platform lays out embedded objects,
// are settled by their first sectors; with the directory at the end, as our writer puts it, only
// the whole file settles it. Text is no compound file; a forged link leaves it undecided.
TEST(RootStreamProbeTest, PresenceIsSettledOnlyOnceTheDirectoryIsRead) {
    const Bytes original = workbook();
    Bytes book = frontLoaded(original);
    EXPECT_EQ(probe(book, 2048, u"Current User"), Presence::Absent);
    EXPECT_EQ(probe(book, 2048, u"WORKBOOK"), Presence::Present);  // names compare without case
    EXPECT_EQ(probe(book, 1024, u"Workbook"), Presence::Unknown);  // directory not yet there
    EXPECT_EQ(probe(book, 300, u"Current User"), Presence::Unknown);
    const Bytes deck = frontLoaded(buildDeck({{{}}, {}}).compoundFile());
    EXPECT_EQ(probe(deck, 2048, u"Current User"), Presence::Present);
    EXPECT_EQ(probe(original, 2048, u"Current User"), Presence::Unknown);
    EXPECT_EQ(probe(original, original.size(), u"Current User"), Presence::Absent);
    EXPECT_EQ(probe(original, original.size(), u"Workbook"), Presence::Present);
    EXPECT_EQ(probe(Bytes(4096, 'x'), 4096, u"Current User"), Presence::Absent);

    const std::size_t root = 512 * (LittleEndian::readU32(book.data() + 48) + 1);
    const std::uint32_t child = LittleEndian::readU32(book.data() + root + 76);
    LittleEndian::writeU32(book.data() + root + 128 * child + 68, child);  // left link to itself
    EXPECT_EQ(probe(book, 2048, u"Current User"), Presence::Unknown);
}

}  // namespace
