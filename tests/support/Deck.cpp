#include "support/Deck.h"

#include "support/Records.h"

namespace fixtures {

PresentationBuilder buildDeck(const Deck& deck) {
    std::vector<std::uint32_t> slideIds;
    for (std::size_t i = 0; i < deck.slides.size(); ++i) {
        slideIds.push_back(static_cast<std::uint32_t>(2 + i));
    }
    const auto masterId = static_cast<std::uint32_t>(2 + deck.slides.size() + deck.objects.size());
    std::vector<Bytes> children{environment(), masterList(masterId), slideList(slideIds)};
    if (!deck.objects.empty()) {
        std::vector<Bytes> embeds;
        for (std::size_t i = 0; i < deck.objects.size(); ++i) {
            embeds.push_back(
                exEmbed(static_cast<std::uint32_t>(i + 1), objectPersistId(deck.slides.size(), i)));
        }
        children.push_back(exObjList(embeds));
    }
    PresentationBuilder b;
    b.add(documentContainer(children));
    std::uint32_t drawing = 1;
    for (const std::vector<Bytes>& shapes : deck.slides) {
        b.add(slide(shapes, drawing++));
    }
    for (const Bytes& object : deck.objects) {
        b.add(object);
    }
    b.add(mainMaster());
    return b;
}

}  // namespace fixtures
