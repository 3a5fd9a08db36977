// Writes a sample presentation whose embedded objects were flattened, for the demo:
//   make_sample <output.ppt> [<picture bytes> [incremental]]
// Three slides with flattened and intact OLE shapes, an embedded workbook, and an embedded
// presentation with a flattened shape of its own and another presentation inside it. With a
// number of picture bytes, the outer and the embedded presentation get "Pictures" streams of
// that many and a quarter as many incompressible bytes, so that a run over the file takes a
// while (the fault-injection tests); with "incremental", an incremental save after the full one
// stores the document and the first slide again, so that the repaired file's Document stream (one
// full save) is shorter than the original's.
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "platform/ProgramEntry.h"
#include "streams/LittleEndian.h"

#include "support/Deck.h"
#include "support/PresentationBuilder.h"
#include "support/Records.h"

using namespace fixtures;

namespace {

// A presentation of one slide holding the given shapes, with the given embedded objects and,
// given a size, a "Pictures" stream of that many incompressible bytes.
Bytes smallPresentation(const std::vector<Bytes>& shapes, const std::vector<Bytes>& objects,
                        std::size_t pictureBytes = 0) {
    std::vector<Bytes> storages;
    for (const Bytes& object : objects) {
        storages.push_back(exOleObjStg(object));
    }
    PresentationBuilder b = buildDeck({{shapes}, storages});
    if (pictureBytes > 0) {
        b.addStream("Pictures", pattern(pictureBytes, 2));
    }
    return b.compoundFile();
}

Bytes workbook() {
    Bytes sheet;
    for (int row = 0; row < 400; ++row) {
        const Bytes cell =
            text("row " + std::to_string(row) + ";" + std::to_string(row * 17) + "\n");
        sheet.insert(sheet.end(), cell.begin(), cell.end());
    }
    return compoundFileBytes({{"Workbook", sheet},
                              {"\x01"
                               "CompObj",
                               concat({u32(0xFFFE0001), text("Biff8")})},
                              {"\x05"
                               "SummaryInformation",
                               zeros(200)}});
}

int MakeSample(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.size() > 3 ||
        (arguments.size() == 3 && arguments[2] != "incremental")) {
        std::cerr << "usage: make_sample <output.ppt> [<picture bytes> [incremental]]\n";
        return 1;
    }
    const std::size_t pictureBytes =
        arguments.size() > 1 ? std::strtoull(arguments[1].c_str(), nullptr, 10) : 0;
    const Bytes innermost = smallPresentation({oleShape(1025, 1, true)}, {});
    const Bytes nested = smallPresentation({oleShape(1025, 1, true), pictureShape(1026)},
                                           {innermost}, pictureBytes / 4);

    // The first slide shows a workbook, the second a presentation, the third a workbook intact.
    const std::vector<std::vector<Bytes>> slides{{oleShape(1025, 1, true), pictureShape(1026)},
                                                 {oleShape(2049, 2, true)},
                                                 {oleShape(3073, 3, false), pictureShape(3074)}};
    PresentationBuilder b = buildDeck(
        {slides, {exOleObjStg(workbook()), exOleObjStg(nested), exOleObjStg(workbook())}});
    if (arguments.size() == 3) {
        const Bytes stream = b.documentStream();
        const std::uint8_t* document = stream.data() + b.objectOffsets().at(1);
        b.beginEdit();
        b.set(1, Bytes(document, document + 8 + LittleEndian::readU32(document + 4)));
        b.set(2, slide(slides[0], 1));
    }
    b.addStream("Pictures", pictureBytes > 0 ? pattern(pictureBytes) : zeros(3000));
    b.writeTo(std::filesystem::u8path(arguments[0]));
    return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return EnterProgram(argc, argv, MakeSample);
}
#else
int main(int argc, char** argv) {
    return EnterProgram(argc, argv, MakeSample);
}
#endif
