#pragma once

#include <vector>

#include "support/Bytes.h"
#include "support/PresentationBuilder.h"

namespace fixtures {

// The content of a presentation: slides (each a list of shapes) and embedded objects (each an
// ExOleObjStg record; object i is external object i + 1 of the external object list).
struct Deck {
    std::vector<std::vector<Bytes>> slides;
    std::vector<Bytes> objects;
};

// A presentation as PowerPoint lays it out: the Document container (with its environment, slide
// list and external object list) as persist id 1, the slides as ids 2, 3, ..., then the objects'
// storage records.
PresentationBuilder buildDeck(const Deck& deck);

// The persist id of object `index` of a deck with `slides` slides.
inline std::uint32_t objectPersistId(std::size_t slides, std::size_t index) {
    return static_cast<std::uint32_t>(2 + slides + index);
}

}  // namespace fixtures
