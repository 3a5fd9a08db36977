#include "repair/EmbeddedPPT.h"

#include <iterator>
#include <string>
#include <vector>

#include "cfb/RootStreamProbe.h"
#include "errors/ErrnoErrorDetail.h"
#include "errors/Exception.h"
#include "errors/FileCreateException.h"
#include "errors/StringErrorDetail.h"
#include "errors/TempFileCreationException.h"
#include "platform/MemoryReadableFile.h"
#include "pptformat/CurrentUser.h"
#include "pptformat/RecordType.h"
#include "streams/CopyStream.h"
#include "streams/FileOutputStream.h"
#include "streams/LimitedInputStream.h"
#include "streams/LittleEndian.h"
#include "streams/OLEStreamInputStream.h"
#include "streams/ZlibInputStream.h"

namespace {

constexpr std::size_t kOleObjAtomBytes = 21;
constexpr std::size_t kSizePrefix = 4;
constexpr std::uint32_t kEmbeddedObject = 0;
// zlib inflates straight into the caller's buffer, using it as its window; a buffer smaller than
// a few windows (32 KiB each) makes it copy every byte once more into a window of its own.
constexpr std::size_t kInflateChunk = 1 << 20;
// What is unpacked of an object before deciding whether it can be a presentation.
constexpr std::size_t kProbeBytes = 64 << 10;
const std::u16string kCurrentUser(std::begin(CurrentUser::kStreamName),
                                  std::end(CurrentUser::kStreamName) - 1);

// The walk's budget accounting subtracts a record's body only for atoms (and type 0x0428); the
// children of containers are met later in the walk.
bool countsBody(const Record& record) {
    return !record.isContainer() || record.type() == RecordType::kNeverContainer;
}

// A failure of this machine rather than of the object's data: no temporary file could be made,
// or the system refused a read or write (a full disk, for one). Passing over the object then
// would report a repair that left it out.
bool isLocalFailure(const Exception& e) {
    return dynamic_cast<const TempFileCreationException*>(&e) != nullptr ||
           dynamic_cast<const FileCreateException*>(&e) != nullptr ||
           dynamic_cast<const ErrnoErrorDetail*>(e.detail()) != nullptr;
}

}  // namespace

void EmbeddedPPT::scan(Document& document, OLEStorage& storage, EmbeddedPPTList& list) {
    RecordList& records = document.records();
    std::size_t position = 0;
    while (position < records.size() && records[position].type() != RecordType::kExObjList) {
        ++position;
    }
    if (position == records.size()) {
        return;
    }
    std::int64_t budget = records[position].length();
    ++position;
    while (budget != 0 && position < records.size()) {
        Record& record = records[position++];
        budget -= static_cast<std::int64_t>(RecordHeader::kSize);
        if (countsBody(record)) {
            budget -= record.length();
        } else if (record.type() == RecordType::kExEmbed) {
            budget -= record.length();
            std::int64_t inner = record.length();
            while (inner != 0 && position < records.size()) {
                const Record& child = records[position++];
                inner -= static_cast<std::int64_t>(RecordHeader::kSize) + child.length();
                if (child.type() == RecordType::kExOleObjAtom) {
                    examine(document, storage, record, child, list);
                }
            }
        }
    }
}

void EmbeddedPPT::examine(Document& document, OLEStorage& storage, Record& exEmbed,
                          const Record& atom, EmbeddedPPTList& list) {
    OLEStream& stream = document.oleStream();
    stream.seek(static_cast<std::int64_t>(atom.bodyOffset()), SeekOrigin::Begin);
    std::uint8_t body[kOleObjAtomBytes] = {};
    stream.read(body, sizeof body);
    if (LittleEndian::readU32(body + 4) != kEmbeddedObject) {
        return;  // a linked object or a control
    }
    const PersistEntry* entry = document.persistDirectory().find(LittleEndian::readU32(body + 16));
    RecordList& records = document.records();
    if (entry == nullptr || entry->recordIndex < 0 ||
        static_cast<std::uint64_t>(entry->recordIndex) >= records.size()) {
        return;
    }
    Record& storageRecord = records[static_cast<std::size_t>(entry->recordIndex)];
    // A record claimed by an earlier atom already has its replacement body; a second claim would
    // pack the first one's output again. Forged lists may also repeat one object many times.
    if (storageRecord.type() != RecordType::kExOleObjStg ||
        !claimed_.insert(&storageRecord).second || depth_ >= kMaxDepth) {
        return;
    }
    stream.seek(entry->offset, SeekOrigin::Begin);
    std::uint8_t prefix[RecordHeader::kSize + kSizePrefix] = {};
    stream.read(prefix, RecordHeader::kSize);
    stream.read(prefix + RecordHeader::kSize, kSizePrefix);
    const std::uint64_t dataOffset = entry->offset + RecordHeader::kSize + kSizePrefix;
    const std::uint64_t dataLength =
        storageRecord.length() >= kSizePrefix ? storageRecord.length() - kSizePrefix : 0;

    auto object = std::make_unique<EmbeddedObject>();
    object->exEmbed = &exEmbed;
    object->storageRecord = &storageRecord;
    const std::size_t listMark = list.size();
    const std::size_t objectMark = objects_.size();
    try {
        if (!open(*object, document, storage, dataOffset, dataLength) ||
            !object->presentation->isPowerPoint()) {
            storageRecord.discardTempFile();
            return;
        }
        PowerPointPresentation& presentation = *object->presentation;
        ZlibReadableFile* const inflated = object->inflated;
        objects_.push_back(std::move(object));
        if (!presentation.isEncrypted()) {
            presentation.collectEmbeddedPresentations(progress_, budget_, list, depth_ + 1);
        }
        // Everything the pass reads of it has been read: what it has loaded stays in memory.
        if (inflated != nullptr) {
            inflated->trim();
        }
    } catch (const Exception& e) {
        if (isLocalFailure(e)) {
            throw;
        }
        drop(storageRecord, list, listMark, objectMark);
    } catch (...) {
        drop(storageRecord, list, listMark, objectMark);
    }
}

void EmbeddedPPT::drop(Record& storageRecord, EmbeddedPPTList& list, std::size_t listMark,
                       std::size_t objectMark) {
    list.resize(listMark);
    objects_.resize(objectMark);
    storageRecord.discardTempFile();
}

bool EmbeddedPPT::open(EmbeddedObject& object, Document& document, OLEStorage& storage,
                       std::uint64_t dataOffset, std::uint64_t dataLength) {
    {
        OLEStreamInputStream ole(document.oleStream());
        LimitedInputStream data(ole, dataLength);
        ZlibInputStream inflated(data);
        // One byte beyond the allowance tells an object that exceeds it.
        LimitedInputStream allowed(inflated, budget_.remaining() + 1);
        // Most embedded objects are workbooks and documents, whose directory lies in their first
        // sectors: their head alone shows they hold no presentation, and the rest of them need
        // not be unpacked at all. A small object is all head, and settled without any file.
        std::vector<std::uint8_t> head(kProbeBytes);
        const std::size_t headBytes = allowed.read(head.data(), head.size());
        if (cfb::RootStreamProbe::probe(head.data(), headBytes, kCurrentUser) ==
            cfb::RootStreamProbe::Presence::Absent) {
            return false;
        }
        // An object that ended within its head is examined where it is, while the memory
        // allowance lasts; anything larger goes to a temporary file, so that object data is never
        // held whole in memory.
        if (headBytes < head.size() && headBytes <= budget_.remaining() &&
            budget_.hold(headBytes)) {
            budget_.spend(headBytes);
            head.resize(headBytes);
            object.presentation = std::make_unique<PowerPointPresentation>(
                std::make_unique<MemoryReadableFile>(std::move(head)), "embedded object");
            return true;
        }
        if (!budget_.toFiles()) {
            openInflated(object, document, storage, dataOffset, dataLength);
            return true;
        }
        object.unpacked = std::make_unique<TempFile>();
        FileOutputStream out(object.unpacked->openWriter());
        out.write(head.data(), headBytes);
        std::uint64_t unpacked = headBytes;
        if (headBytes == head.size()) {
            unpacked += copyStream(allowed, out, kInflateChunk);
        }
        if (!budget_.spend(unpacked)) {
            throw Exception(std::make_unique<StringErrorDetail>("Embedded object too large"));
        }
        out.close();
    }
    // The output, the record's replacement body, is only made when the presentation is saved.
    object.presentation = std::make_unique<PowerPointPresentation>(object.unpacked->openReader(),
                                                                   object.unpacked->path());
    return true;
}

void EmbeddedPPT::openInflated(EmbeddedObject& object, Document& document, OLEStorage& storage,
                               std::uint64_t dataOffset, std::uint64_t dataLength) {
    // A reader of its own, so that its position is never the document's.
    auto source = std::make_unique<OLEStream>();
    if (!source->open(storage, document.name())) {
        throw Exception(std::make_unique<StringErrorDetail>("Error opening stream"));
    }
    auto inflated = std::make_unique<ZlibReadableFile>(std::move(source), dataOffset, dataLength);
    // As when it is unpacked to a file: one byte beyond the allowance tells an object that
    // exceeds it.
    const std::uint64_t unpacked = inflated->measure(budget_.remaining() + 1);
    if (!budget_.spend(unpacked)) {
        throw Exception(std::make_unique<StringErrorDetail>("Embedded object too large"));
    }
    object.inflated = inflated.get();
    object.presentation =
        std::make_unique<PowerPointPresentation>(std::move(inflated), "embedded object");
}

void EmbeddedPPT::fixShapes() {
    for (const std::unique_ptr<EmbeddedObject>& object : objects_) {
        if (object->presentation && !object->presentation->isEncrypted()) {
            object->presentation->fixOleShapes(progress_);
        }
    }
}

void EmbeddedPPT::repair() {
    for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
        EmbeddedObject& object = **it;
        if (!object.presentation) {
            continue;
        }
        Record& record = *object.storageRecord;
        if (object.presentation->isEncrypted()) {
            record.discardTempFile();
            continue;
        }
        object.presentation->setOutput(record.tempFile());
        object.presentation->save();
        object.presentation->commit();
        object.presentation.reset();
        record.setUncompressedSize(record.tempFile().size());
        const std::uint16_t version = record.verInstance() & 0x000F;
        if (record.compress()) {
            record.setVerInstance(version | 0x0010);
            record.setLength(record.tempFile().size() + kSizePrefix);
        } else {
            record.setVerInstance(version);
            record.setLength(record.tempFile().size());
        }
    }
}
