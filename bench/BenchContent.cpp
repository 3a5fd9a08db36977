#include "BenchContent.h"

#include <memory>
#include <string>

#include "StreamedPresentation.h"
#include "streams/OLEStream.h"

#include "support/FrontLoaded.h"
#include "support/PresentationBuilder.h"
#include "support/Records.h"

using fixtures::Bytes;
using fixtures::concat;
using fixtures::u32;

namespace bench {

namespace {

constexpr std::size_t kMinPicture = 64 * 1024;
constexpr std::size_t kMaxPicture = 1024 * 1024;

std::uint64_t next(std::uint64_t& state) {
    // xorshift64*: fast, and good enough to defeat deflate.
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1DULL;
}

void append(Bytes& to, const Bytes& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

void appendText(Bytes& to, const std::string& text) {
    to.insert(to.end(), text.begin(), text.end());
}

// Incompressible bytes, as in JPEG and PNG pictures; `state` carries the generator on.
void fillPictureBytes(std::uint8_t* chunk, std::size_t count, std::uint64_t& state) {
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const std::uint64_t value = next(state);
        for (int b = 0; b < 8; ++b) {
            chunk[i + b] = static_cast<std::uint8_t>(value >> (8 * b));
        }
    }
    for (; i < count; ++i) {
        chunk[i] = static_cast<std::uint8_t>(next(state));
    }
}

Bytes pictures(std::size_t size, std::uint64_t seed) {
    Bytes out(size);
    fillPictureBytes(out.data(), out.size(), seed);
    return out;
}

Bytes textBox(std::uint32_t spid) {
    // lTxid, text anchor and margins: the property table of a text placeholder.
    return fixtures::shapeContainer(spid, fixtures::kHaveAnchorFlag | fixtures::kHaveShapeTypeFlag,
                                    {{0x0080, spid << 16}, {0x0087, 1}, {0x0081, 91440}});
}

std::string sentence(std::uint32_t slide, int line) {
    return "Slide " + std::to_string(slide) + ", point " + std::to_string(line) +
           ": quarterly figures for the region, compared with the year before.";
}

// The Environment container with the font collection every reader looks up first.
Bytes environment() {
    Bytes face = fixtures::utf16("Arial");
    face.resize(64, 0);
    const Bytes font = fixtures::atom(0x0FB7, concat({face, fixtures::zeros(4)}));
    return fixtures::container(0x03F2, {fixtures::container(0x07D5, {font})});
}

}  // namespace

void writePicturesStream(OLEStorage& storage, std::uint64_t size, std::uint64_t seed) {
    constexpr std::size_t kBlipPrefix = 8 + 16 + 1;  // header, picture UID, tag
    const std::unique_ptr<OLEStream> out = createRootStream(storage, "Pictures");
    std::vector<std::uint8_t> data(kMaxPicture);
    std::uint64_t state = seed | 1;
    for (std::uint64_t left = size; left > kBlipPrefix;) {
        std::size_t count = kMinPicture + next(state) % (kMaxPicture - kMinPicture);
        count = static_cast<std::size_t>(std::min<std::uint64_t>(count, left - kBlipPrefix));
        fillPictureBytes(data.data(), count, state);
        const Bytes prefix =
            concat({fixtures::header(0xF01D, static_cast<std::uint32_t>(count + 17), 0x46A),
                    Bytes(data.begin(), data.begin() + 16), Bytes{0xFF}});
        out->write(prefix.data(), prefix.size());
        out->write(data.data(), count);
        left -= kBlipPrefix + count;
    }
    out->release();
}

Bytes workbook(std::size_t sheetBytes, std::uint64_t seed) {
    Bytes sheet;
    sheet.reserve(sheetBytes + 128);
    std::uint64_t state = seed | 1;
    for (std::uint64_t row = 0; sheet.size() < sheetBytes; ++row) {
        const std::uint64_t r = next(state);
        appendText(sheet, std::to_string(row) + ";" + std::to_string(r % 100000) + ";" +
                              std::to_string((r >> 20) % 1000) + "." +
                              std::to_string((r >> 40) % 100) + ";item " +
                              std::to_string((r >> 50) % 500) + "\n");
    }
    // Directory first, as the platform lays out the objects it embeds.
    return fixtures::frontLoaded(
        fixtures::compoundFileBytes({{"Workbook", sheet},
                                     {"\x01"
                                      "CompObj",
                                      concat({u32(0xFFFE0001), fixtures::text("Biff8")})},
                                     {"\x05"
                                      "SummaryInformation",
                                      fixtures::zeros(200)}}));
}

Bytes smallPresentation(std::size_t pictureBytes, const Bytes* inner, std::uint64_t seed) {
    fixtures::PresentationBuilder b;
    b.add(fixtures::documentContainer(
        inner != nullptr ? std::vector<Bytes>{fixtures::exObjList({fixtures::exEmbed(1, 3)})}
                         : std::vector<Bytes>{}));
    b.add(fixtures::slide({fixtures::oleShape(1025, 1, true), fixtures::pictureShape(1026)}));
    if (inner != nullptr) {
        b.add(fixtures::exOleObjStg(*inner));
    }
    b.addStream("Pictures", pictures(pictureBytes, seed | 1));
    return fixtures::frontLoaded(b.compoundFile());
}

Bytes slideWithObjects(std::uint32_t slideNumber, const std::vector<std::uint32_t>& objects,
                       const std::vector<bool>& flattened) {
    const std::uint32_t drawingId = slideNumber + 1;
    const std::uint32_t base = drawingId << 10;
    std::vector<Bytes> shapes{textBox(base + 1), textBox(base + 2),
                              fixtures::pictureShape(base + 3)};
    for (std::size_t i = 0; i < objects.size(); ++i) {
        shapes.push_back(
            fixtures::oleShape(base + 4 + static_cast<std::uint32_t>(i), objects[i], flattened[i]));
    }
    return fixtures::slide(shapes, drawingId);
}

Bytes documentWithSlides(std::uint32_t slideCount, std::uint32_t firstSlideId,
                         const std::vector<std::uint32_t>& storageIds, std::uint32_t revision) {
    Bytes slideList;
    for (std::uint32_t s = 0; s < slideCount; ++s) {
        // SlidePersistAtom: persist id, flags, text count, slide id, reserved.
        append(slideList, fixtures::atom(0x03F3, concat({u32(firstSlideId + s), u32(4), u32(2),
                                                         u32(256 + s), u32(0)})));
        for (int line = 0; line < 2; ++line) {
            append(slideList, fixtures::atom(0x0F9F, u32(line == 0 ? 0 : 1)));
            append(slideList,
                   fixtures::atom(0x0FA0, fixtures::utf16(sentence(s + 1, line + revision))));
        }
    }
    Bytes listBody = fixtures::header(0x0FF0, static_cast<std::uint32_t>(slideList.size()), 0, 0xF);
    append(listBody, slideList);
    std::vector<Bytes> embeds;
    for (std::size_t i = 0; i < storageIds.size(); ++i) {
        embeds.push_back(fixtures::exEmbed(static_cast<std::uint32_t>(i + 1), storageIds[i]));
    }
    std::vector<Bytes> children{environment(), listBody};
    if (!embeds.empty()) {
        children.push_back(fixtures::exObjList(embeds));
    }
    return fixtures::documentContainer(children);
}

}  // namespace bench
