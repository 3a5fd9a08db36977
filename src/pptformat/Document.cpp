#include "pptformat/Document.h"

#include <stdexcept>
#include <unordered_set>

#include "errors/IOException.h"
#include "errors/PropertySizeException.h"
#include "errors/StringErrorDetail.h"
#include "pptformat/RecordType.h"
#include "streams/BufferedOutputStream.h"
#include "streams/OLEStreamInputStream.h"
#include "streams/OLEStreamOutputStream.h"

namespace {

[[noreturn]] void fail(const char* text) {
    throw IOException(std::make_unique<StringErrorDetail>(text));
}

}  // namespace

Document::Document(OLEStorage& storage) : Stream("PowerPoint Document") {
    open(storage);
}

PersistDirectory& Document::persistDirectory() {
    if (!persistDirectory_) {
        fail("Error reading Persistent Directory");
    }
    return *persistDirectory_;
}

bool Document::load(std::uint32_t offsetToCurrentEdit) {
    if (offsetToCurrentEdit == 0) {
        fail("Current User Atom points to no User Edit Atom");
    }
    readPersistDirectory(offsetToCurrentEdit);
    if (!firstObjectIsDocument()) {
        return false;
    }
    loadRecords();
    checkContainers();
    loadPropertyRecords();
    return true;
}

UserEdit Document::readUserEdit(std::uint32_t offset) {
    seek(offset, SeekOrigin::Begin);
    std::uint8_t headerBytes[RecordHeader::kSize] = {};
    read(headerBytes, sizeof headerBytes);
    if (RecordHeader::parse(headerBytes).type != RecordType::kUserEditAtom) {
        fail("Error reading User Edit Atom");
    }
    UserEdit edit;
    read(edit.bytes().data(), edit.bytes().size());
    return edit;
}

void Document::readPersistDirectory(std::uint32_t start) {
    // User edits and their directories never overlap in a sound stream, so together they cannot
    // hold more bytes than the stream; reading more means the chain is forged to make us spin.
    const std::uint64_t budget = oleStream().size();
    std::uint64_t consumed = 0;
    std::unordered_set<std::uint32_t> visited;
    std::uint32_t current = start;
    for (;;) {
        visited.insert(current);
        const UserEdit edit = readUserEdit(current);
        consumed += RecordHeader::kSize + UserEdit::kSize;
        if (!persistDirectory_) {
            persistDirectory_ = std::make_unique<PersistDirectory>();
            userEdit_ = std::make_unique<UserEdit>(edit);
        }
        seek(edit.offsetPersistDirectory(), SeekOrigin::Begin);
        std::uint8_t bytes[RecordHeader::kSize] = {};
        read(bytes, sizeof bytes);
        const RecordHeader header = RecordHeader::parse(bytes);
        if (header.type != RecordType::kPersistDirectoryAtom) {
            fail("Error reading Persistent Directory");
        }
        consumed += RecordHeader::kSize;
        for (std::uint64_t count = 0; count < header.length;) {
            std::uint8_t word[4] = {};
            read(word, sizeof word);
            const std::uint32_t runHeader = LittleEndian::readU32(word);
            const std::uint32_t idCount = runHeader >> 20;
            std::uint32_t id = runHeader & 0xFFFFF;
            count += 4;
            consumed += 4 * (1 + static_cast<std::uint64_t>(idCount));
            if (consumed > budget) {
                fail("Error reading Persistent Directory");
            }
            for (std::uint32_t i = 0; i < idCount; ++i) {
                read(word, sizeof word);
                persistDirectory_->add(id, LittleEndian::readU32(word));
                count += 4;
                id = (id + 1) & 0xFFFFF;
            }
        }
        const std::uint32_t next = edit.offsetLastEdit();
        if (visited.count(next) != 0) {
            fail("Loop detected in Persistent Directory");
        }
        if (next == 0) {
            break;
        }
        current = next;
    }
    userEdit_->setOffsetLastEdit(0);
    userEdit_->setDocPersistIdRef(1);
}

bool Document::firstObjectIsDocument() {
    // An empty directory is outside what the format allows; entryAt reports it as out of range.
    const PersistEntry& first = persistDirectory_->entryAt(0);
    seek(first.offset, SeekOrigin::Begin);
    std::uint8_t bytes[RecordHeader::kSize] = {};
    read(bytes, sizeof bytes);
    return RecordHeader::parse(bytes).type == RecordType::kDocument;
}

void Document::loadRecords() {
    // Objects of a sound stream do not overlap, so the stream holds at most one record header per
    // 8 bytes; more records than that means objects were forged to share their records.
    const std::uint64_t maxRecords = oleStream().size() / RecordHeader::kSize + 1;
    OLEStreamInputStream in(oleStream());
    for (PersistEntry& entry : persistDirectory_->entries()) {
        entry.recordIndex = static_cast<std::int64_t>(records_.size());
        Record::readRecordTree(records_, in, entry.offset);
        if (records_.size() > maxRecords) {
            fail("Persist objects overlap");
        }
    }
}

void Document::checkContainers() {
    for (std::size_t position = 0; position < records_.size(); ++position) {
        if (records_[position].isContainer()) {
            position = Record::checkContainer(records_, position);
        }
    }
}

void Document::loadPropertyRecords() {
    OLEStreamInputStream in(oleStream());
    Record* shape = nullptr;
    for (Record& record : records_) {
        if (record.type() == RecordType::kShape) {
            shape = &record;
        } else if (record.type() == RecordType::kShapeProperties) {
            try {
                propertyRecords_.push_back(std::make_unique<PropertyRecord>(record, in, shape));
            } catch (const PropertySizeException&) {
                throw;
            } catch (...) {
                // A damaged table without a picture is passed over.
            }
            shape = nullptr;
        }
    }
}

bool Document::fixOleShapes(Progress& progress) {
    for (const std::unique_ptr<PropertyRecord>& table : propertyRecords_) {
        Record* shape = table->shapeRecord();
        const std::uint32_t flags = table->shapeFlags();
        if ((flags & PropertyRecord::kOleShapeFlag) == 0 ||
            table->hasProperty(PropertyRecord::kPictureId)) {
            continue;
        }
        // Only a well-formed shape record (an atom of 8 bytes) can take the 8 repaired bytes.
        if (shape == nullptr || shape->isContainer() ||
            shape->length() != table->shapeBytes().size()) {
            continue;
        }
        table->setShapeFlags(flags & ~PropertyRecord::kOleShapeFlag);
        shape->setMemoryBody(table->shapeBytes().data(), table->shapeBytes().size());
        progress.step(0);
    }
    return true;
}

std::uint32_t Document::persistedSize() {
    if (persistedSizeCache_ != 0) {
        return persistedSizeCache_;
    }
    PersistDirectory& directory = persistDirectory();
    std::uint64_t size = RecordHeader::kSize +
                         4 * static_cast<std::uint64_t>(directory.countRuns()) +
                         12 * static_cast<std::uint64_t>(directory.entryCount());
    for (const PersistEntry& entry : directory.entries()) {
        size += records_.at(static_cast<std::size_t>(entry.recordIndex)).length();
    }
    if (size > UINT32_MAX) {
        fail("Document stream too large");
    }
    persistedSizeCache_ = static_cast<std::uint32_t>(size);
    return persistedSizeCache_;
}

std::uint64_t Document::writeObject(OutputStream& out, PersistEntry& entry) {
    std::size_t index = static_cast<std::size_t>(entry.recordIndex);
    const Record& top = records_.at(index);
    entry.size = top.length();
    const std::uint64_t written = top.write(out, oleStream());
    if (!top.isContainer()) {
        return written;
    }
    std::uint64_t remaining = entry.size;
    while (remaining > 0) {
        const std::uint64_t child = records_.at(++index).write(out, oleStream());
        if (child > remaining) {
            fail("Container length overrun");
        }
        remaining -= child;
    }
    return written + entry.size;
}

void Document::save(OLEStorage& storage) {
    PersistDirectory& directory = persistDirectory();
    create(storage);
    OLEStreamOutputStream ole(oleStream());
    BufferedOutputStream out(ole);
    std::uint64_t objectBytes = 0;
    for (PersistEntry* entry : directory.entriesById()) {
        objectBytes += writeObject(out, *entry);
    }
    directory.write(out);
    userEdit_->setPersistIdSeed(directory.maxPersistId());
    std::uint8_t header[RecordHeader::kSize];
    RecordHeader{0, RecordType::kUserEditAtom, UserEdit::kSize}.serialize(header);
    out.write(header, sizeof header);
    if (directoryOffset_ == 0) {
        directoryOffset_ =
            persistedSize() - RecordHeader::kSize -
            4 * static_cast<std::uint32_t>(directory.entryCount() + directory.countRuns());
    }
    if (directoryOffset_ != objectBytes) {
        // The offsets already handed out (Current User, directory) would not match the bytes.
        fail("Document stream size mismatch");
    }
    userEdit_->setOffsetPersistDirectory(directoryOffset_);
    out.write(userEdit_->bytes().data(), userEdit_->bytes().size());
    out.flush();
}
