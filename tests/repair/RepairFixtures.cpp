#include "repair/RepairFixtures.h"

#include <zlib.h>

#include <stdexcept>

#include "pptformat/CurrentUser.h"
#include "pptformat/Document.h"
#include "repair/RepairPass.h"
#include "streams/LittleEndian.h"

namespace fixtures {

PassRun::PassRun(const Bytes& file) {
    writeFile(input.path(), file);
    outcome = RunRepairPass(input.path(), fixFile, output.path(), message);
}

PresentationBuilder presentation(const std::vector<std::vector<Bytes>>& slides,
                                 const std::vector<Bytes>& storageRecords) {
    PresentationBuilder b;
    const auto firstStorageId = static_cast<std::uint32_t>(2 + slides.size());
    std::vector<Bytes> embeds;
    for (std::size_t i = 0; i < storageRecords.size(); ++i) {
        embeds.push_back(exEmbed(static_cast<std::uint32_t>(i + 1),
                                 firstStorageId + static_cast<std::uint32_t>(i)));
    }
    b.add(documentContainer(embeds.empty() ? std::vector<Bytes>{}
                                           : std::vector<Bytes>{exObjList(embeds)}));
    std::uint32_t drawing = 1;
    for (const std::vector<Bytes>& shapes : slides) {
        b.add(slide(shapes, drawing++));
    }
    for (const Bytes& record : storageRecords) {
        b.add(record);
    }
    return b;
}

Bytes presentationFile(const std::vector<std::vector<Bytes>>& slides,
                       const std::vector<Bytes>& storageRecords) {
    return presentation(slides, storageRecords).compoundFile();
}

StoredRecord storedObject(const std::filesystem::path& file, std::uint32_t persistId) {
    OLEStorage storage;
    storage.open(file);
    CurrentUser user(storage);
    Document document(storage);
    if (!document.load(user.offsetToCurrentEdit())) {
        throw std::runtime_error("not a plain presentation");
    }
    const PersistEntry* entry = document.persistDirectory().find(persistId);
    if (entry == nullptr) {
        throw std::runtime_error("no such object");
    }
    const Record& record = document.records()[static_cast<std::size_t>(entry->recordIndex)];
    const Bytes stream = readStream(file, "PowerPoint Document");
    const auto begin = stream.begin() + static_cast<std::ptrdiff_t>(record.bodyOffset());
    return {record.header(), Bytes(begin, begin + record.length())};
}

Bytes embeddedFile(const StoredRecord& storage) {
    if ((storage.header.verInstance >> 4) != 1) {
        return storage.body;
    }
    Bytes out(LittleEndian::readU32(storage.body.data()));
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &size, storage.body.data() + 4,
                   static_cast<uLong>(storage.body.size() - 4)) != Z_OK ||
        size != out.size()) {
        throw std::runtime_error("embedded object does not inflate completely");
    }
    return out;
}

namespace {
class CountingProgress : public Progress {
public:
    void step(std::int32_t) override { ++steps; }
    int steps = 0;
};
}  // namespace

int flattenedShapes(const std::filesystem::path& file) {
    OLEStorage storage;
    storage.open(file);
    CurrentUser user(storage);
    Document document(storage);
    if (!document.load(user.offsetToCurrentEdit())) {
        throw std::runtime_error("not a plain presentation");
    }
    CountingProgress progress;
    document.fixOleShapes(progress);
    return progress.steps;
}

}  // namespace fixtures
