#include <gtest/gtest.h>

#include <functional>

#include "CfbTestSupport.h"
#include "ScratchFolder.h"
#include "cfb/Header.h"
#include "support/PresentationBuilder.h"

namespace {

using cfb::CompoundFileReader;
using cfb::ErrorKind;
constexpr auto writeU16 = &LittleEndian::writeU16;
constexpr auto writeU32 = &LittleEndian::writeU32;

// A version 3 file with three streams: "Big" (5000 bytes, sectors 0-9), "Mini" (200 bytes in
// the mini stream, mini sectors 0-3) and "Other" (4096 bytes, sectors 10-17), which the tests
// damage in place. Directory ids follow the format order: root 0, Big 1, Mini 2, Other 3; the
// tree of the root's children is Mini with Big on its left and Other on its right.
class DamagedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        fixtures::writeCompoundFile(path_, {{"Big", cfbtest::pattern(5000, 1)},
                                            {"Mini", cfbtest::pattern(200, 2)},
                                            {"Other", cfbtest::pattern(4096, 3)}});
        original_ = fixtures::readFile(path_);
        bytes_ = original_;
        header_ = cfb::Header::parse(bytes_.data());
        ASSERT_EQ(header_.fatSectorCount, 1u);
        ASSERT_NE(header_.firstMiniFatSector, cfb::kEndOfChain);
    }

    std::uint8_t* fatEntry(std::uint32_t sector) {
        return bytes_.data() + header_.sectorOffset(header_.difat[0]) + 4 * sector;
    }
    std::uint8_t* miniFatEntry(std::uint32_t miniSector) {
        return bytes_.data() + header_.sectorOffset(header_.firstMiniFatSector) + 4 * miniSector;
    }
    std::uint8_t* directoryEntry(std::uint32_t id) {
        return bytes_.data() + header_.sectorOffset(header_.firstDirectorySector) + 128 * id;
    }

    void save() { fixtures::writeFile(path_, bytes_); }

    // Saves the damaged bytes (the first `length` of them), expects opening them to fail as
    // corrupt with a message that contains `text`, and restores the undamaged bytes.
    void expectCorrupt(const std::string& text, std::size_t length = SIZE_MAX) {
        bytes_.resize(std::min(length, bytes_.size()));
        save();
        try {
            CompoundFileReader::open(Env::Default(), path_);
            ADD_FAILURE() << "the damaged file opened; expected: " << text;
        } catch (const cfb::Error& error) {
            EXPECT_EQ(error.kind(), ErrorKind::Corrupt) << error.what();
            EXPECT_NE(std::string(error.what()).find(text), std::string::npos) << error.what();
        }
        bytes_ = original_;
    }

    ScratchFolder folder_;
    std::filesystem::path path_ = folder_ / "damaged.cfb";
    fixtures::Bytes original_;
    fixtures::Bytes bytes_;
    cfb::Header header_;
};

TEST_F(DamagedFileTest, EachDamageIsNamedExactlyAndADirtyUpperSizeHalfIgnored) {
    const std::pair<std::function<void()>, const char*> damages[] = {
        {[&] { writeU32(fatEntry(5), 2); }, "FAT chain of entry 'Big' loops at sector 2"},
        {[&] { writeU32(miniFatEntry(2), 0); },
         "mini FAT chain of entry 'Mini' loops at mini sector 0"},
        {[&] { writeU32(fatEntry(9), 10); },  // Big runs on into Other
         "FAT chain of entry 'Other' uses sector 10, which another chain uses too"},
        {[&] { writeU32(fatEntry(3), 5000); },
         "FAT chain of entry 'Big' points to sector 5000, beyond the last one"},
        {[&] { writeU32(fatEntry(3), cfb::kFreeSector); },
         "FAT chain of entry 'Big' continues after sector 3 with a link marked free"},
        {[&] { writeU32(directoryEntry(1) + 120, 6000); },
         "entry 'Big' is 6000 bytes long, but its chain holds only 10 sectors"},
        {[&] { writeU32(directoryEntry(1) + 68, 3); },  // Big's left sibling: Other, again
         "directory entry 3 is reached twice"},
        {[&] { writeU32(directoryEntry(3) + 72, 99); },
         "entry 'Other' links to directory entry 99, beyond the 4 entries"},
        {[&] {
             // Other renamed "BIG": equal to Big in the format's comparison.
             std::fill(directoryEntry(3), directoryEntry(3) + 64, 0);
             for (std::size_t i = 0; i < 3; ++i) {
                 writeU16(directoryEntry(3) + 2 * i, u"BIG"[i]);
             }
             writeU16(directoryEntry(3) + 64, 8);
         },
         "holds two entries named 'B"},
        // FAT sector count: nothing is allocated.
        {[&] { writeU32(bytes_.data() + 44, 0x7FFFFFFF); },
         "2147483647 FAT sectors, but the file holds"},
        {[&] { writeU16(bytes_.data() + 30, 12); }, "version 3 with sector shift 12"},
        {[&] { writeU16(bytes_.data() + 28, 0xFEFF); }, "byte order"},
    };
    for (const auto& [damage, error] : damages) {
        damage();
        expectCorrupt(error);
    }
    expectCorrupt("the file", bytes_.size() - 100);
    expectCorrupt("not in the file", 512 * 6 + 100);
    // Only the lower half of a version 3 stream size counts.
    writeU32(directoryEntry(1) + 124, 0xDEADBEEF);
    save();
    EXPECT_EQ(cfbtest::readStream(*CompoundFileReader::open(Env::Default(), path_), u"Big"),
              cfbtest::pattern(5000, 1));
}

// Random damage anywhere in the structures: opening and reading everything either works or
// throws cfb::Error; it never crashes, hangs or reads outside its buffers (run under the
// sanitizers to see the last).
TEST_F(DamagedFileTest, RandomDamageGivesErrorsOnly) {
    // The header and the structures after the stream data: sectors 18 onwards.
    const std::size_t structures = header_.sectorOffset(18);
    std::uint32_t state = 12345;
    const auto next = [&state] { return state = state * 1103515245u + 12345u; };
    int opened = 0;
    for (int round = 0; round < 3000; ++round) {
        bytes_ = original_;
        for (int k = 0; k < 1 + round % 4; ++k) {
            const std::uint32_t r = next() >> 8;
            const std::size_t at =
                (r & 1) ? r % 512 : structures + r % (bytes_.size() - structures);
            bytes_[at] = static_cast<std::uint8_t>(next() >> 16);
        }
        save();
        try {
            cfbtest::listing(*CompoundFileReader::open(Env::Default(), path_));
            ++opened;
        } catch (const cfb::Error&) {
        }
    }
    EXPECT_GT(opened, 0);
}

}  // namespace
