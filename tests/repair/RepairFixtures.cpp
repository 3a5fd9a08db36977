#include "repair/RepairFixtures.h"

#include <gtest/gtest.h>

#include "ScopedTmpdir.h"
#include "ScratchFolder.h"

#include <algorithm>
#include <stdexcept>

#include "pptformat/CurrentUser.h"
#include "pptformat/Document.h"
#include "repair/RepairPass.h"
#include "streams/LittleEndian.h"
#include "support/CountingProgress.h"

namespace fixtures {

void expectCheckAgrees(const std::filesystem::path& input, int outcome, int count,
                       const std::string& message) {
    if (message.rfind("Verification", 0) == 0) {
        return;  // only a written output can fail that
    }
    // Any temporary file would fail the pass: the temporary folder does not exist.
    ScratchFolder temp;
    ScopedTmpdir inTemp((temp / "missing").string());
    FixFile counted;
    std::string checkMessage;
    EXPECT_EQ(RunCheckPass(input, counted, checkMessage), outcome) << checkMessage;
    EXPECT_EQ(counted.fixedCount(), count);
    if (outcome != 0) {
        EXPECT_EQ(checkMessage, message);
    }
    EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
}

PassRun::PassRun(const Bytes& file, std::uint64_t length) {
    writeFile(input.path(), file);
    if (length > file.size()) {
        std::filesystem::resize_file(input.path(), length);
    }
    outcome = RunRepairPass(
        input.path(), fixFile, [this]() -> TempFile& { return output; }, message);
    expectCheckAgrees(input.path(), outcome, fixFile.fixedCount(), message);
}

Bytes presentationFile(const std::vector<std::vector<Bytes>>& slides,
                       const std::vector<Bytes>& storageRecords) {
    return buildDeck({slides, storageRecords}).compoundFile();
}

namespace {

// The two presentation streams of a file, loaded.
struct LoadedPresentation {
    explicit LoadedPresentation(const std::filesystem::path& file)
        : storage(opened(file)), user(*storage), document(*storage) {
        if (!document.load(user.offsetToCurrentEdit())) {
            throw std::runtime_error("not a plain presentation");
        }
    }
    static std::unique_ptr<OLEStorage> opened(const std::filesystem::path& file) {
        auto storage = std::make_unique<OLEStorage>();
        storage->open(file);
        return storage;
    }

    std::unique_ptr<OLEStorage> storage;
    CurrentUser user;
    Document document;
};

}  // namespace

StoredRecord storedObject(const std::filesystem::path& file, std::uint32_t persistId) {
    LoadedPresentation loaded(file);
    const PersistEntry* entry = loaded.document.persistDirectory().find(persistId);
    if (entry == nullptr) {
        throw std::runtime_error("no such object");
    }
    const Record& record = loaded.document.records()[static_cast<std::size_t>(entry->recordIndex)];
    const Bytes stream = readStream(file, "PowerPoint Document");
    const auto begin = stream.begin() + static_cast<std::ptrdiff_t>(record.bodyOffset());
    return {record.header(), Bytes(begin, begin + record.length())};
}

StoredRecord storedObject(const Bytes& file, std::uint32_t persistId) {
    TempFile path;
    writeFile(path.path(), file);
    return storedObject(path.path(), persistId);
}

Bytes StoredRecord::whole() const {
    Bytes bytes(RecordHeader::kSize + body.size());
    header.serialize(bytes.data());
    std::copy(body.begin(), body.end(), bytes.begin() + RecordHeader::kSize);
    return bytes;
}

Bytes embeddedFile(const StoredRecord& storage) {
    if ((storage.header.verInstance >> 4) != 1) {
        return storage.body;
    }
    return zlibUncompress(Bytes(storage.body.begin() + 4, storage.body.end()),
                          LittleEndian::readU32(storage.body.data()));
}

int flattenedShapes(const std::filesystem::path& file) {
    LoadedPresentation loaded(file);
    CountingProgress progress;
    loaded.document.fixOleShapes(progress);
    return progress.steps;
}

int flattenedShapes(const Bytes& file) {
    TempFile path;
    writeFile(path.path(), file);
    return flattenedShapes(path.path());
}

Bytes streamOf(const Bytes& file, const std::string& name) {
    TempFile path;
    writeFile(path.path(), file);
    return readStream(path.path(), name);
}

}  // namespace fixtures
