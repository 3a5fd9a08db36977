#include <gtest/gtest.h>

#include "cfb/RootStreamProbe.h"
#include "streams/LittleEndian.h"
#include "support/Deck.h"
#include "support/FrontLoaded.h"
#include "support/PresentationBuilder.h"

using namespace fixtures;
using Presence = cfb::RootStreamProbe::Presence;

namespace {

Presence probe(const Bytes& file, std::size_t prefix, const std::u16string& name) {
    return cfb::RootStreamProbe::probe(file.data(), std::min(prefix, file.size()), name);
}

Bytes workbook() {
    Bytes sheet(20000);
    for (std::size_t i = 0; i < sheet.size(); ++i) {
        sheet[i] = static_cast<std::uint8_t>(i * 31);
    }
    return compoundFileBytes({{"Workbook", sheet}, {"\001CompObj", Bytes(50, 7)}});
}

// Files with their directory in the first sectors, as the platform lays out embedded objects,
// are settled by their first sectors.
TEST(RootStreamProbeTest, FrontLoadedFilesAreSettledByTheirFirstSectors) {
    const Bytes original = workbook();
    const Bytes book = frontLoaded(original);
    EXPECT_EQ(probe(book, 2048, u"Current User"), Presence::Absent);
    EXPECT_EQ(probe(book, 2048, u"Workbook"), Presence::Present);
    EXPECT_EQ(probe(book, 2048, u"WORKBOOK"), Presence::Present);  // names compare without case
    EXPECT_EQ(probe(book, 1024, u"Workbook"), Presence::Unknown);  // directory not yet there

    const Bytes deck = frontLoaded(buildDeck({{{}}, {}}).compoundFile());
    EXPECT_EQ(probe(deck, 2048, u"Current User"), Presence::Present);

    // With the directory at the end, as our writer puts it, only the whole file settles it.
    EXPECT_EQ(probe(original, 2048, u"Current User"), Presence::Unknown);
    EXPECT_EQ(probe(original, original.size(), u"Current User"), Presence::Absent);
    EXPECT_EQ(probe(original, original.size(), u"Workbook"), Presence::Present);
}

TEST(RootStreamProbeTest, NotACompoundFileIsAbsentAndForgedLinksUndecided) {
    const Bytes text(4096, 'x');
    EXPECT_EQ(probe(text, 4096, u"Current User"), Presence::Absent);
    EXPECT_EQ(probe(frontLoaded(workbook()), 300, u"Current User"), Presence::Unknown);

    Bytes forged = frontLoaded(workbook());
    const std::size_t root = 512 * (LittleEndian::readU32(forged.data() + 48) + 1);
    const std::uint32_t child = LittleEndian::readU32(forged.data() + root + 76);
    LittleEndian::writeU32(forged.data() + root + 128 * child + 68, child);  // left link to itself
    EXPECT_EQ(probe(forged, 2048, u"Current User"), Presence::Unknown);
}

}  // namespace
