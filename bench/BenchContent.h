#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/Bytes.h"

class OLEStorage;

// The pieces of a large benchmark presentation, built in memory one object at a time.
namespace bench {

// Writes the "Pictures" stream: JPEG picture records (OfficeArtBlipJPEG) of 64 KiB to 1 MiB of
// incompressible data each, `size` bytes in all, chunk by chunk.
void writePicturesStream(OLEStorage& storage, std::uint64_t size, std::uint64_t seed);

// A workbook compound file ("Workbook", "\x01CompObj", "\x05SummaryInformation") whose sheet
// data is about `sheetBytes` of numbers and text: it deflates to roughly a third.
fixtures::Bytes workbook(std::size_t sheetBytes, std::uint64_t seed);

// A presentation compound file with one slide holding a flattened OLE shape and a "Pictures"
// stream of `pictureBytes`; with `inner` it embeds that compound file (compressed) and its
// flattened shape shows it.
fixtures::Bytes smallPresentation(std::size_t pictureBytes, const fixtures::Bytes* inner,
                                  std::uint64_t seed);

// One slide: a title and a body placeholder, a picture, and an OLE shape for each external
// object id in `objects`; `flattened` tells for each whether its pictureId was taken away.
fixtures::Bytes slideWithObjects(std::uint32_t slideNumber,
                                 const std::vector<std::uint32_t>& objects,
                                 const std::vector<bool>& flattened);

// The Document container: DocumentAtom, the slide list with each slide's persist atom and text,
// the external object list naming each embedded object's storage, and EndDocumentAtom.
// `firstSlideId` is the persist id of slide 1; object i (external id i + 1) is stored under
// `storageIds[i]`.
fixtures::Bytes documentWithSlides(std::uint32_t slideCount, std::uint32_t firstSlideId,
                                   const std::vector<std::uint32_t>& storageIds,
                                   std::uint32_t revision);

}  // namespace bench
