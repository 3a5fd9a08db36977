#include "cfb/CompoundFileWriter.h"

#include <algorithm>
#include <vector>

#include "cfb/CompoundFileReader.h"
#include "cfb/Difat.h"
#include "cfb/EntryName.h"
#include "cfb/Error.h"
#include "cfb/OutputFile.h"
#include "cfb/StreamReader.h"
#include "cfb/StreamWriter.h"
#include "platform/Env.h"

namespace cfb {

namespace {

// FAT sectors written with one call at most.
constexpr std::size_t kFatSectorsPerWrite = 256;

void copyAttributes(const DirectoryEntry& from, DirectoryEntry& to) {
    to.clsid = from.clsid;
    to.stateBits = from.stateBits;
    to.creationTime = from.creationTime;
    to.modificationTime = from.modificationTime;
}

}  // namespace

std::unique_ptr<CompoundFileWriter> CompoundFileWriter::create(Env& env,
                                                               const std::filesystem::path& path,
                                                               Version version) {
    std::unique_ptr<WritableFile> file;
    if (const int error = env.openWritable(path, &file)) {
        if (env.errorKind(error) == Env::ErrorKind::LockConflict) {
            throw Error(ErrorKind::LockViolation,
                        "creating " + path.u8string() + ": another process holds the file");
        }
        throw Error::fromErrorNumber(error, ErrorKind::WriteFault, "creating " + path.u8string());
    }
    return create(std::move(file), version);
}

std::unique_ptr<CompoundFileWriter> CompoundFileWriter::create(std::unique_ptr<WritableFile> file,
                                                               Version version) {
    return std::unique_ptr<CompoundFileWriter>(
        new CompoundFileWriter(std::make_shared<OutputFile>(std::move(file), version)));
}

CompoundFileWriter::CompoundFileWriter(std::shared_ptr<OutputFile> out) : out_(std::move(out)) {}

CompoundFileWriter::~CompoundFileWriter() = default;

std::string CompoundFileWriter::describe(std::uint32_t id) const {
    return "entry " + EntryName::quoted(out_->directory().entry(id).name);
}

std::uint32_t CompoundFileWriter::addEntry(std::uint32_t parent, const std::u16string& name,
                                           EntryType type) {
    out_->checkOpen();
    DirectoryBuilder& directory = out_->directory();
    if (!directory.isLive(parent) || !directory.entry(parent).isStorage()) {
        throw Error(ErrorKind::InvalidState, describe(parent) + " is not a storage of the file");
    }
    if (directory.find(parent, name)) {
        throw Error(ErrorKind::AlreadyExists, "storage " + describe(parent) +
                                                  " already holds an element named " +
                                                  EntryName::quoted(name));
    }
    return directory.add(parent, name, type);
}

void CompoundFileWriter::removeEntry(std::uint32_t id) {
    out_->directory().remove(id, [this](const DirectoryEntry& stream) {
        if (stream.size < kMiniStreamCutoff) {
            out_->miniStream().release(stream.startSector);
        } else {
            out_->fat().freeChain(stream.startSector);
        }
    });
}

std::unique_ptr<StreamWriter> CompoundFileWriter::createStream(std::uint32_t parent,
                                                               const std::u16string& name) {
    out_->checkOpen();
    EntryName::validate(name);
    DirectoryBuilder& directory = out_->directory();
    if (const auto existing = directory.find(parent, name)) {
        for (std::uint32_t open : out_->openEntries()) {
            for (std::uint32_t id = open; id != kNoEntry; id = directory.parent(id)) {
                if (id == *existing) {
                    throw Error(ErrorKind::AccessDenied, "cannot replace " + describe(*existing) +
                                                             ": it is open for writing");
                }
            }
        }
        removeEntry(*existing);
    }
    const std::uint32_t id = addEntry(parent, name, EntryType::Stream);
    return std::make_unique<StreamWriter>(out_, id, describe(id));
}

std::uint32_t CompoundFileWriter::createStorage(std::uint32_t parent, const std::u16string& name) {
    EntryName::validate(name);
    return addEntry(parent, name, EntryType::Storage);
}

void CompoundFileWriter::setClsid(std::uint32_t id, const DirectoryEntry::Clsid& clsid) {
    out_->checkOpen();
    out_->directory().entry(id).clsid = clsid;
}

void CompoundFileWriter::setStateBits(std::uint32_t id, std::uint32_t stateBits) {
    out_->checkOpen();
    out_->directory().entry(id).stateBits = stateBits;
}

void CompoundFileWriter::copyRootAttributes(const CompoundFileReader& source) {
    out_->checkOpen();
    DirectoryEntry& root = out_->directory().entry(kRoot);
    root.clsid = source.entry(CompoundFileReader::kRoot).clsid;
    root.stateBits = source.entry(CompoundFileReader::kRoot).stateBits;
}

void CompoundFileWriter::copyElement(const CompoundFileReader& source, std::uint32_t sourceId,
                                     std::uint32_t parent) {
    const DirectoryEntry& entry = source.entry(sourceId);
    // Names are kept exactly as stored, even ones this writer would not accept from a caller.
    const std::uint32_t target = addEntry(parent, entry.name, entry.type);
    try {
        if (entry.isStream()) {
            copyStream(source, sourceId, target);
        } else {
            copyTree(source, sourceId, target);
        }
    } catch (const Error&) {
        if (out_->isOpen()) {
            removeEntry(target);
        }
        throw;
    }
}

void CompoundFileWriter::copyStream(const CompoundFileReader& source, std::uint32_t sourceId,
                                    std::uint32_t target) {
    copyAttributes(source.entry(sourceId), out_->directory().entry(target));
    const std::unique_ptr<StreamReader> reader = source.openStream(sourceId);
    StreamWriter writer(out_, target, describe(target));
    if (reader->inMiniStream()) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(reader->size()));
        const std::size_t got = reader->read(bytes.data(), bytes.size());
        writer.write(bytes.data(), got);
    } else {
        writer.expectLarge();
        for (std::uint64_t position = 0; position < reader->size();) {
            const SectorReader::Extent extent = reader->locate(position);
            writer.copyFrom(reader->sectorReader().file(), extent.fileOffset, extent.length);
            position += extent.length;
        }
    }
    writer.close();
}

void CompoundFileWriter::copyTree(const CompoundFileReader& source, std::uint32_t sourceId,
                                  std::uint32_t target) {
    // (source storage, its copy), without recursion: storages may nest deeply.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pending{{sourceId, target}};
    while (!pending.empty()) {
        const auto [from, to] = pending.back();
        pending.pop_back();
        copyAttributes(source.entry(from), out_->directory().entry(to));
        for (std::uint32_t child : source.children(from)) {
            const DirectoryEntry& entry = source.entry(child);
            const std::uint32_t copy = addEntry(to, entry.name, entry.type);
            if (entry.isStream()) {
                copyStream(source, child, copy);
            } else {
                pending.emplace_back(child, copy);
            }
        }
    }
}

void CompoundFileWriter::commit(Flush flush) {
    if (committed_) {
        return;
    }
    if (out_->failure()) {
        throw *out_->failure();
    }
    try {
        out_->closeWriters();
        writeStructures(flush);
        committed_ = true;
    } catch (const Error& error) {
        out_->fail(error);
        out_->abandon();
        throw;
    }
}

void CompoundFileWriter::writeStructures(Flush flush) {
    Header& header = out_->header();
    const std::uint32_t sectorSize = header.sectorSize();
    FatBuilder& fat = out_->fat();

    MiniStreamBuilder& miniStream = out_->miniStream();
    miniStream.flush(*out_);
    DirectoryEntry& root = out_->directory().entry(kRoot);
    root.size = miniStream.size();
    root.startSector = miniStream.size() > 0 ? miniStream.firstSector() : kEndOfChain;

    const std::vector<std::uint8_t> miniTable = miniStream.table(sectorSize);
    FatBuilder::Tail miniTableTail;
    if (!miniTable.empty()) {
        out_->appendSectors(miniTableTail, miniTable.data(), miniTable.size(), "the mini FAT");
    }
    header.firstMiniFatSector = miniTableTail.first;
    header.miniFatSectorCount = static_cast<std::uint32_t>(miniTable.size() / sectorSize);

    const std::vector<std::uint8_t> directory = out_->directory().serialize(sectorSize);
    FatBuilder::Tail directoryTail;
    out_->appendSectors(directoryTail, directory.data(), directory.size(), "the directory");
    header.firstDirectorySector = directoryTail.first;
    header.directorySectorCount = static_cast<std::uint32_t>(directory.size() / sectorSize);

    // The FAT covers itself and the DIFAT: grow both until they cover every sector.
    const std::uint32_t perSector = sectorSize / 4;
    std::vector<std::uint32_t> fatIds;
    std::vector<std::uint32_t> difatIds;
    for (;;) {
        const std::uint64_t fatNeeded =
            (std::uint64_t{fat.sectorCount()} + perSector - 1) / perSector;
        const std::uint32_t difatNeeded = Difat::sectorsNeeded(fatNeeded, sectorSize);
        if (fatIds.size() >= fatNeeded && difatIds.size() >= difatNeeded) {
            break;
        }
        const std::vector<std::uint32_t> moreFat =
            out_->appendMarked(static_cast<std::uint32_t>(fatNeeded - fatIds.size()), kFatSector);
        fatIds.insert(fatIds.end(), moreFat.begin(), moreFat.end());
        const std::vector<std::uint32_t> moreDifat = out_->appendMarked(
            static_cast<std::uint32_t>(difatNeeded -
                                       std::min<std::size_t>(difatNeeded, difatIds.size())),
            kDifatSector);
        difatIds.insert(difatIds.end(), moreDifat.begin(), moreDifat.end());
    }
    std::vector<std::uint8_t> block;
    for (std::size_t i = 0; i < fatIds.size();) {
        std::size_t run = 1;
        while (i + run < fatIds.size() && run < kFatSectorsPerWrite &&
               fatIds[i + run] == fatIds[i] + run) {
            ++run;
        }
        block.resize(run * sectorSize);
        fat.fill(std::uint64_t{i} * perSector, static_cast<std::uint32_t>(run * perSector),
                 block.data());
        out_->writeAt(header.sectorOffset(fatIds[i]), block.data(), block.size(), "the FAT");
        i += run;
    }
    Difat::layout(header, fatIds, difatIds, &block);
    for (std::size_t d = 0; d < difatIds.size(); ++d) {
        out_->writeAt(header.sectorOffset(difatIds[d]), block.data() + d * sectorSize, sectorSize,
                      "the DIFAT");
    }
    std::vector<std::uint8_t> headerBytes(header.headerSpan(), 0);
    header.serialize(headerBytes.data());
    out_->writeAt(0, headerBytes.data(), headerBytes.size(), "the header");
    out_->finish(header.sectorOffset(fat.sectorCount()), flush == Flush::ToDisk);
}

}  // namespace cfb
