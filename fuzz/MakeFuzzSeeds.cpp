// Writes the fuzzer's seed inputs into a folder: presentations with flattened shapes, nested
// embedded presentations, incremental edits, and damaged variants of them.
//   make_fuzz_seeds <folder>
#include <filesystem>
#include <iostream>
#include <string>

#include "repair/UnpackBudget.h"
#include "support/PresentationBuilder.h"
#include "support/Records.h"

using namespace fixtures;

namespace {

// One slide of the given shapes, with one embedded object per storage record.
PresentationBuilder withObjects(const std::vector<Bytes>& shapes,
                                const std::vector<Bytes>& storageRecords) {
    PresentationBuilder b;
    std::vector<Bytes> embeds;
    for (std::size_t i = 0; i < storageRecords.size(); ++i) {
        embeds.push_back(
            exEmbed(static_cast<std::uint32_t>(i + 1), static_cast<std::uint32_t>(3 + i)));
    }
    b.add(documentContainer(embeds.empty() ? std::vector<Bytes>{}
                                           : std::vector<Bytes>{exObjList(embeds)}));
    b.add(slide(shapes));
    for (const Bytes& record : storageRecords) {
        b.add(record);
    }
    return b;
}

Bytes nested(int levels) {
    Bytes file = withObjects({oleShape(1025, 1, true)}, {}).compoundFile();
    for (int level = 1; level < levels; ++level) {
        file = withObjects({oleShape(1025, 1, true), pictureShape(1026)}, {exOleObjStg(file)})
                   .compoundFile();
    }
    return file;
}

// An embedded presentation that unpacks to nearly all the pass may unpack (a small input gets
// the floor), and one that unpacks to more.
Bytes nearTheAllowance(std::uint64_t unpacked) {
    PresentationBuilder inner = withObjects({oleShape(1025, 1, true)}, {});
    inner.addStream("Pictures", zeros(static_cast<std::size_t>(unpacked)));
    return withObjects({oleShape(1025, 1, true)}, {exOleObjStg(inner.compoundFile())})
        .compoundFile();
}

PresentationBuilder incrementalBuilder() {
    PresentationBuilder b;
    b.add(documentContainer());
    b.add(slide({oleShape(1025, 1, true)}));
    b.beginEdit();
    b.set(2, slide({oleShape(1025, 1, true), oleShape(1026, 2, false)}));
    b.beginEdit();
    b.add(slide({pictureShape(2049), oleShape(2050, 1, true)}, 2));
    return b;
}

// Deterministic damage: every `stride`-th byte from `start` on gets its bits flipped.
Bytes damaged(Bytes file, std::size_t start, std::size_t stride) {
    for (std::size_t i = start; i < file.size(); i += stride) {
        file[i] ^= 0x5A;
    }
    return file;
}

Bytes truncated(Bytes file, std::size_t keep) {
    file.resize(std::min(keep, file.size()));
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_fuzz_seeds <folder>\n";
        return 1;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    const Bytes workbook = compoundFileBytes({{"Workbook", zeros(700)}});
    PresentationBuilder encrypted = withObjects({oleShape(1025, 1, true)}, {});
    encrypted.setToken(kEncryptedToken);

    const Bytes flat =
        withObjects({oleShape(1025, 1, true), pictureShape(1026)}, {}).compoundFile();
    const Bytes twoLevels = nested(2);
    const std::vector<std::pair<std::string, Bytes>> seeds{
        {"flattened", flat},
        {"intact", withObjects({oleShape(1025, 1, false)}, {}).compoundFile()},
        {"nested-2", twoLevels},
        {"nested-4", nested(4)},
        {"workbook",
         withObjects({oleShape(1025, 1, true)}, {exOleObjStg(workbook)}).compoundFile()},
        {"uncompressed",
         withObjects({oleShape(1025, 1, true)}, {exOleObjStg(nested(1), false)}).compoundFile()},
        {"incremental", incrementalBuilder().compoundFile()},
        {"within-allowance", nearTheAllowance(UnpackBudget::kFloorBytes - (1 << 20))},
        {"beyond-allowance", nearTheAllowance(UnpackBudget::kFloorBytes)},
        {"encrypted", encrypted.compoundFile()},
        {"flattened-flipped", damaged(flat, 1536, 97)},
        {"nested-flipped", damaged(twoLevels, 1800, 211)},
        {"flattened-truncated", truncated(flat, flat.size() - 700)},
        {"nested-truncated", truncated(twoLevels, twoLevels.size() / 2)},
    };
    for (const auto& [name, bytes] : seeds) {
        writeFile(folder / (name + ".ppt"), bytes);
    }
    // The same presentations as the fuzzer's second form of input: the Document stream behind
    // the offset of its current user edit.
    const std::vector<std::pair<std::string, PresentationBuilder>> documents{
        {"flattened", withObjects({oleShape(1025, 1, true), pictureShape(1026)}, {})},
        {"nested", withObjects({oleShape(1025, 1, true)}, {exOleObjStg(twoLevels)})},
        {"uncompressed", withObjects({oleShape(1025, 1, true)}, {exOleObjStg(flat, false)})},
        {"incremental", incrementalBuilder()},
    };
    for (const auto& [name, builder] : documents) {
        writeFile(folder / ("document-" + name + ".bin"),
                  concat({u32(builder.currentEditOffset()), builder.documentStream()}));
    }
    return 0;
}
