#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "errors/Exception.h"
#include "pptformat/CurrentUser.h"
#include "pptformat/Document.h"
#include "support/OpenedCompoundFile.h"

using namespace fixtures;
namespace fs = std::filesystem;

namespace {

// The bytes of every persisted object of a loaded document, by id.
std::map<std::uint32_t, Bytes> objectsOf(Document& document, const Bytes& stream) {
    std::map<std::uint32_t, Bytes> objects;
    for (const PersistEntry& entry : document.persistDirectory().entries()) {
        const Record& top = document.records()[static_cast<std::size_t>(entry.recordIndex)];
        const std::size_t end =
            std::min<std::size_t>(stream.size(), entry.offset + 8 + top.length());
        objects[entry.persistId] = Bytes(stream.begin() + entry.offset, stream.begin() + end);
    }
    return objects;
}

std::vector<fs::path> corpusPresentations() {
    std::vector<fs::path> files;
    const char* corpus = std::getenv("PATCH_CORPUS");
    std::error_code error;
    if (corpus == nullptr || !fs::is_directory(corpus, error)) {
        return files;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() == ".ppt") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Loading and saving a real presentation without repairs keeps every object byte for byte; the
// saved stream loads again with the same ids and records.
TEST(CorpusRoundTripTest, SavedDocumentKeepsEveryObject) {
    const std::vector<fs::path> files = corpusPresentations();
    if (files.empty()) {
        GTEST_SKIP() << "corpus not available (PATCH_CORPUS)";
    }
    int roundTrips = 0;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        TempFile output;
        std::map<std::uint32_t, Bytes> before;
        std::vector<std::tuple<std::uint16_t, std::uint16_t, std::uint32_t>> recordsBefore;
        try {
            OLEStorage storage;
            storage.open(path);
            CurrentUser user(storage);
            Document document(storage);
            if (user.headerToken() != CurrentUser::kPlainToken ||
                !document.load(user.offsetToCurrentEdit())) {
                continue;
            }
            before = objectsOf(document, readStream(path, "PowerPoint Document"));
            for (const Record& r : document.records()) {
                recordsBefore.emplace_back(r.verInstance(), r.type(), r.length());
            }
            storage.create(output.path());
            user.setOffsetToCurrentEdit(document.persistedSize());
            user.save(storage);
            document.save(storage);
            storage.commit();
        } catch (const Exception&) {
            continue;  // files that do not load are other tests' business
        }
        OLEStorage storage;
        storage.open(output.path());
        CurrentUser user(storage);
        Document document(storage);
        ASSERT_TRUE(document.load(user.offsetToCurrentEdit()));
        const std::map<std::uint32_t, Bytes> after =
            objectsOf(document, readStream(output.path(), "PowerPoint Document"));
        EXPECT_EQ(after, before);
        std::vector<std::tuple<std::uint16_t, std::uint16_t, std::uint32_t>> recordsAfter;
        for (const Record& r : document.records()) {
            recordsAfter.emplace_back(r.verInstance(), r.type(), r.length());
        }
        std::sort(recordsBefore.begin(), recordsBefore.end());
        std::sort(recordsAfter.begin(), recordsAfter.end());
        EXPECT_EQ(recordsAfter, recordsBefore);
        ++roundTrips;
    }
    EXPECT_GE(roundTrips, 8);
}

}  // namespace
