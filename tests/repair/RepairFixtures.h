#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "pptformat/CurrentUser.h"
#include "pptformat/Document.h"
#include "pptformat/RecordHeader.h"
#include "repair/FixFile.h"
#include "repair/RepairPass.h"
#include "streams/LittleEndian.h"
#include "streams/TempFile.h"
#include "support/CountingProgress.h"
#include "support/Deck.h"
#include "support/PresentationBuilder.h"

namespace fixtures {

// Runs the check pass over `input`, with a temporary folder that does not exist (so that any
// temporary file fails the pass), and expects what the repair pass gave (`outcome`, `count`,
// `message`): the same outcome and count, the same message for nothing found and for an error.
inline void expectCheckAgrees(const std::filesystem::path& input, int outcome, int count,
                              const std::string& message) {
    if (message.rfind("Verification", 0) == 0) {
        return;  // only a written output can fail that
    }
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

// One repair pass over the given file bytes, in a temporary folder of its own; with `length`
// above the bytes' size, the input goes on with a hole up to that length. The pass must ask for
// its output once when it repairs and never otherwise, leave no other file behind and the input
// as it was; unless `check` is false, the check pass over the same input must agree with it.
struct PassRun {
    explicit PassRun(const Bytes& file, std::uint64_t length = 0, bool check = true) {
        writeFile(input, file);
        if (length > file.size()) {
            std::filesystem::resize_file(input, length);
        }
        int outputRequests = 0;
        outcome = RunRepairPass(
            input, fixFile,
            [&]() -> TempFile& {
                ++outputRequests;
                output = std::make_unique<TempFile>();
                return *output;
            },
            message);
        EXPECT_EQ(outputRequests, outcome == 0 ? 1 : 0) << message;
        for (const auto& entry : std::filesystem::directory_iterator(temp.path())) {
            EXPECT_TRUE(entry.path() == input || (output && entry.path() == output->path()))
                << entry.path() << " left behind; " << message;
        }
        if (length <= file.size()) {
            EXPECT_EQ(readFile(input), file) << message;
        }
        if (check) {
            expectCheckAgrees(input, outcome, fixFile.fixedCount(), message);
        }
    }
    Bytes repaired() const { return readFile(output->path()); }

    ScratchFolder temp;
    ScopedTmpdir tmpdir{temp.path().string()};
    std::filesystem::path input = temp / "input.ppt";
    std::unique_ptr<TempFile> output;
    FixFile fixFile;
    std::string message;
    int outcome;
};

// The compound file of a presentation with one slide per shape list, and an external object
// list naming one embedded object per ExOleObjStg record given (object i has exObjId i + 1).
inline Bytes presentationFile(const std::vector<std::vector<Bytes>>& slides,
                              const std::vector<Bytes>& storageRecords = {}) {
    return buildDeck({slides, storageRecords}).compoundFile();
}

// A presentation file in a temporary file, its two streams loaded.
struct LoadedPresentation {
    explicit LoadedPresentation(const Bytes& bytes)
        : storage(opened(file, bytes)), user(*storage), document(*storage) {
        if (!document.load(user.offsetToCurrentEdit())) {
            throw std::runtime_error("not a plain presentation");
        }
    }
    static std::unique_ptr<OLEStorage> opened(const TempFile& file, const Bytes& bytes) {
        writeFile(file.path(), bytes);
        auto storage = std::make_unique<OLEStorage>();
        storage->open(file.path());
        return storage;
    }

    TempFile file;
    std::unique_ptr<OLEStorage> storage;
    CurrentUser user;
    Document document;
};

// A stored record of a presentation file: its header and body.
struct StoredRecord {
    RecordHeader header;
    Bytes body;

    // The header's bytes followed by the body.
    Bytes whole() const {
        Bytes bytes(RecordHeader::kSize + body.size());
        header.serialize(bytes.data());
        std::copy(body.begin(), body.end(), bytes.begin() + RecordHeader::kSize);
        return bytes;
    }
};

// The top record of object `persistId` in the presentation file.
inline StoredRecord storedObject(const Bytes& file, std::uint32_t persistId) {
    LoadedPresentation loaded(file);
    const PersistEntry* entry = loaded.document.persistDirectory().find(persistId);
    if (entry == nullptr) {
        throw std::runtime_error("no such object");
    }
    const Record& record = loaded.document.records()[static_cast<std::size_t>(entry->recordIndex)];
    const Bytes stream = readStream(loaded.file.path(), "PowerPoint Document");
    const auto begin = stream.begin() + static_cast<std::ptrdiff_t>(record.bodyOffset());
    return {record.header(), Bytes(begin, begin + record.length())};
}

// The compound file held by an ExOleObjStg record (inflated when its instance is 1).
inline Bytes embeddedFile(const StoredRecord& storage) {
    if ((storage.header.verInstance >> 4) != 1) {
        return storage.body;
    }
    return zlibUncompress(Bytes(storage.body.begin() + 4, storage.body.end()),
                          LittleEndian::readU32(storage.body.data()));
}

// How many flattened OLE shapes the presentation still has.
inline int flattenedShapes(const Bytes& file) {
    LoadedPresentation loaded(file);
    CountingProgress progress;
    loaded.document.fixOleShapes(progress);
    return progress.steps;
}

// The whole content of a root stream of the compound file given as bytes.
inline Bytes streamOf(const Bytes& file, const std::string& name) {
    TempFile path;
    writeFile(path.path(), file);
    return readStream(path.path(), name);
}

}  // namespace fixtures
