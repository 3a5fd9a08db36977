#include "cfb/CompoundFileReader.h"

#include <algorithm>

#include "cfb/Difat.h"
#include "cfb/Error.h"
#include "cfb/Header.h"
#include "cfb/MiniStream.h"
#include "cfb/SectorClaims.h"
#include "cfb/SectorReader.h"
#include "cfb/StreamChains.h"
#include "cfb/StreamReader.h"
#include "platform/Env.h"

namespace cfb {

std::unique_ptr<CompoundFileReader> CompoundFileReader::open(Env& env,
                                                             const std::filesystem::path& path,
                                                             const ReadableFileOpener& opener) {
    std::unique_ptr<ReadableFile> file;
    if (const int error = opener ? opener(&file) : env.openReadable(path, &file)) {
        if (env.errorKind(error) == Env::ErrorKind::LockConflict) {
            throw Error(ErrorKind::ShareViolation,
                        "opening " + path.u8string() + ": another process holds it for writing");
        }
        throw Error::fromErrorNumber(error, ErrorKind::ReadFault, "opening " + path.u8string());
    }
    return open(std::move(file));
}

std::unique_ptr<CompoundFileReader> CompoundFileReader::open(std::unique_ptr<ReadableFile> file) {
    std::uint8_t bytes[kHeaderSize];
    if (file->size() < kHeaderSize) {
        throw Error(ErrorKind::NotCompoundFile, "the file has " + std::to_string(file->size()) +
                                                    " bytes, fewer than a compound file header");
    }
    std::size_t got = 0;
    if (const int error = file->readAt(0, bytes, kHeaderSize, &got)) {
        throw Error::fromErrorNumber(error, ErrorKind::ReadFault, "reading the header");
    }
    if (got != kHeaderSize || !Header::hasSignature(bytes)) {
        throw Error(ErrorKind::NotCompoundFile,
                    "the file does not start with the signature of "
                    "a compound file");
    }
    const Header header = Header::parse(bytes);
    // Sectors are numbered in 32 bits: anything longer than that reaches can't be a compound
    // file of this sector size, however much of it is a hole.
    const std::uint64_t longest =
        header.headerSpan() + ((std::uint64_t{kMaxRegularSector} + 1) << header.sectorShift());
    if (file->size() > longest) {
        throw Error(ErrorKind::NotCompoundFile,
                    "the file has " + std::to_string(file->size()) +
                        " bytes, more than a compound file of its sector size can hold");
    }
    auto reader = std::make_shared<SectorReader>(std::move(file), header);

    const std::uint64_t fatCovers =
        std::uint64_t{header.fatSectorCount} * (header.sectorSize() / 4);
    SectorClaims claims(std::min(reader->sectorCount(), fatCovers));
    AllocationTable fat = Difat::loadFat(*reader, claims);
    Directory directory = Directory::load(*reader, fat, claims);
    auto miniStream = std::make_shared<const MiniStream>(
        MiniStream::load(*reader, fat, directory.entry(kRoot), claims));
    std::unique_ptr<CompoundFileReader> result(new CompoundFileReader(
        std::move(reader), std::move(fat), std::move(directory), std::move(miniStream)));
    result->checkStreams(claims);
    return result;
}

CompoundFileReader::CompoundFileReader(std::shared_ptr<SectorReader> reader, AllocationTable fat,
                                       Directory directory,
                                       std::shared_ptr<const MiniStream> miniStream)
    : reader_(std::move(reader)),
      fat_(std::move(fat)),
      directory_(std::move(directory)),
      miniStream_(std::move(miniStream)) {}

CompoundFileReader::~CompoundFileReader() = default;

void CompoundFileReader::checkStreams(SectorClaims& claims) const {
    // Every stream's chain once, with the claims of the structures loaded before: no sector may
    // be reached twice.
    StreamChains chains(*reader_, fat_);
    SectorClaims miniClaims(miniStream_->table().unitCount());
    std::vector<std::uint32_t> storages{kRoot};
    while (!storages.empty()) {
        const std::uint32_t storage = storages.back();
        storages.pop_back();
        for (std::uint32_t id : directory_.children(storage)) {
            const DirectoryEntry& entry = directory_.entry(id);
            if (entry.isStorage()) {
                storages.push_back(id);
            } else if (entry.size < kMiniStreamCutoff) {
                chains.mini(*miniStream_, entry.startSector, entry.size, directory_.describe(id),
                            &miniClaims);
            } else {
                chains.regular(entry.startSector, entry.size, directory_.describe(id), &claims);
            }
        }
    }
}

Version CompoundFileReader::version() const {
    return reader_->header().version();
}

std::unique_ptr<StreamReader> CompoundFileReader::openStream(std::uint32_t id) const {
    const DirectoryEntry& entry = directory_.entry(id);
    if (!entry.isStream()) {
        throw Error(ErrorKind::InvalidState, directory_.describe(id) + " is not a stream");
    }
    const std::string owner = directory_.describe(id);
    StreamChains chains(*reader_, fat_);
    if (entry.size < kMiniStreamCutoff) {
        return std::make_unique<StreamReader>(
            reader_, miniStream_,
            chains.mini(*miniStream_, entry.startSector, entry.size, owner, nullptr), entry.size,
            owner);
    }
    return std::make_unique<StreamReader>(
        reader_, nullptr, chains.regular(entry.startSector, entry.size, owner, nullptr), entry.size,
        owner);
}

}  // namespace cfb
