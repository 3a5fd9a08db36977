#include <gtest/gtest.h>

#include <tuple>

#include "errors/Exception.h"
#include "pptformat/CurrentUser.h"
#include "pptformat/Document.h"
#include "support/Corpus.h"
#include "support/OpenedCompoundFile.h"

using namespace fixtures;
namespace fs = std::filesystem;

namespace {

// What a loaded document holds: every persisted object's bytes by id, and the header of every
// record in stream order.
using Content = std::pair<std::map<std::uint32_t, Bytes>,
                          std::vector<std::tuple<std::uint16_t, std::uint16_t, std::uint32_t>>>;

Content contentOf(Document& document, const fs::path& file) {
    const Bytes stream = readStream(file, "PowerPoint Document");
    Content content;
    for (const PersistEntry& entry : document.persistDirectory().entries()) {
        const Record& top = document.records()[static_cast<std::size_t>(entry.recordIndex)];
        const std::size_t end =
            std::min<std::size_t>(stream.size(), entry.offset + 8 + top.length());
        content.first[entry.persistId] = Bytes(stream.begin() + entry.offset, stream.begin() + end);
    }
    for (const Record& r : document.records()) {
        content.second.emplace_back(r.verInstance(), r.type(), r.length());
    }
    std::sort(content.second.begin(), content.second.end());
    return content;
}

// Loading and saving a real presentation without repairs keeps every object byte for byte; the
// saved stream loads again with the same ids and records.
TEST(CorpusRoundTripTest, SavedDocumentKeepsEveryObject) {
    if (corpusFolder().empty()) {
        GTEST_SKIP() << "corpus not available (PATCH_CORPUS)";
    }
    int roundTrips = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(corpusFolder())) {
        SCOPED_TRACE(entry.path().filename().string());
        TempFile output;
        Content before;
        try {
            OLEStorage storage;
            storage.open(entry.path());
            CurrentUser user(storage);
            Document document(storage);
            if (user.headerToken() != CurrentUser::kPlainToken ||
                !document.load(user.offsetToCurrentEdit())) {
                continue;
            }
            before = contentOf(document, entry.path());
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
        EXPECT_EQ(contentOf(document, output.path()), before);
        ++roundTrips;
    }
    EXPECT_GE(roundTrips, 8);
}

}  // namespace
