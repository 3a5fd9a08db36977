// Writes a flattened presentation large enough that a run of Patchdoc over it takes a while, for
// the fault-injection tests: flattened shapes on several slides, an embedded presentation with
// a flattened shape of its own, and a "Pictures" stream of incompressible bytes. With
// "incremental", an incremental save after the full one stores the document and the first slide
// again, so that the repaired file's Document stream (one full save) is shorter than the
// original's.
//   make_fault_input <output.ppt> <picture bytes> [incremental]
#include <cstdlib>
#include <iostream>
#include <string>

#include "support/PresentationBuilder.h"
#include "support/Records.h"

using namespace fixtures;

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4 || (argc == 4 && std::string(argv[3]) != "incremental")) {
        std::cerr << "usage: make_fault_input <output.ppt> <picture bytes> [incremental]\n";
        return 1;
    }
    const std::size_t pictureBytes = std::strtoull(argv[2], nullptr, 10);

    PresentationBuilder inner;
    inner.add(documentContainer());
    inner.add(slide({oleShape(1025, 1, true)}));
    inner.addStream("Pictures", pattern(pictureBytes / 4, 2));

    PresentationBuilder b;
    const Bytes document = documentContainer({exObjList({exEmbed(1, 6)})});
    b.add(document);
    b.add(slide({oleShape(1025, 1, true), pictureShape(1026)}, 1));
    b.add(slide({oleShape(2049, 1, true)}, 2));
    b.add(slide({oleShape(3073, 1, false)}, 3));
    b.add(slide({oleShape(4097, 1, true)}, 4));
    b.add(exOleObjStg(inner.compoundFile()));
    if (argc == 4) {
        b.beginEdit();
        b.set(1, document);
        b.set(2, slide({oleShape(1025, 1, true), pictureShape(1026)}, 1));
    }
    b.addStream("Pictures", pattern(pictureBytes));
    b.writeTo(argv[1]);
    return 0;
}
