// Writes a sample presentation whose embedded objects were flattened, for the demo:
//   make_sample <output.ppt>
// Three slides with flattened and intact OLE shapes, an embedded workbook, and an embedded
// presentation with a flattened shape of its own and another presentation inside it.
#include <filesystem>
#include <iostream>

#include "platform/ProgramEntry.h"

#include "support/Deck.h"
#include "support/PresentationBuilder.h"
#include "support/Records.h"

using namespace fixtures;

namespace {

// A presentation of one slide holding the given shapes, with the given embedded objects.
Bytes smallPresentation(const std::vector<Bytes>& shapes, const std::vector<Bytes>& objects) {
    std::vector<Bytes> storages;
    for (const Bytes& object : objects) {
        storages.push_back(exOleObjStg(object));
    }
    return buildDeck({{shapes}, storages}).compoundFile();
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
    if (arguments.size() != 1) {
        std::cerr << "usage: make_sample <output.ppt>\n";
        return 1;
    }
    const Bytes innermost = smallPresentation({oleShape(1025, 1, true)}, {});
    const Bytes nested =
        smallPresentation({oleShape(1025, 1, true), pictureShape(1026)}, {innermost});

    // The first slide shows a workbook, the second a presentation, the third a workbook intact.
    PresentationBuilder b =
        buildDeck({{{oleShape(1025, 1, true), pictureShape(1026)},
                    {oleShape(2049, 2, true)},
                    {oleShape(3073, 3, false), pictureShape(3074)}},
                   {exOleObjStg(workbook()), exOleObjStg(nested), exOleObjStg(workbook())}});
    b.addStream("Pictures", zeros(3000));
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
