#include "streams/OLEStorage.h"

#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/EntryName.h"
#include "cfb/Error.h"
#include "errors/HRESULTErrorDetail.h"
#include "errors/OLEStorageNotStorageException.h"
#include "errors/OLEStorageSharingException.h"
#include "errors/StringErrorDetail.h"
#include "platform/Env.h"
#include "platform/ReadableFile.h"
#include "platform/WritableFile.h"

namespace {

constexpr std::uint32_t kShareViolation = 0x80030020;
constexpr std::uint32_t kLockViolation = 0x80030021;
constexpr std::uint32_t kNotStorage = 0x80030050;

Exception storageError(const cfb::Error& error, const std::string& message) {
    return Exception(std::make_unique<HRESULTErrorDetail>(error.resultCode(), message));
}

const char16_t* const kLeftOut[] = {
    u"Current User", u"PowerPoint Document", u"Workbook", u"Data", u"1Table",
    u"0Table",       u"WordDocument"};

// True for a name that the format takes for one of the left-out streams although it is not
// spelt the same: names of a storage compare without regard to letter case.
bool IsCaseVariantOfLeftOut(const std::u16string& name) {
    for (const char16_t* leftOut : kLeftOut) {
        if (name != leftOut && cfb::EntryName::compare(name, leftOut) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

OLEStorage::OLEStorage() = default;

OLEStorage::~OLEStorage() {
    if (writeHandle_ != nullptr && !committed_) {
        try {
            writeHandle_->commit(cfb::CompoundFileWriter::Flush::Skip);
        } catch (...) {
            // Nobody is left to tell; callers that need the output commit it themselves.
        }
    }
}

void OLEStorage::open(const std::filesystem::path& path, const ReadableFileOpener& opener) {
    openWith(
        [&path, &opener] { return cfb::CompoundFileReader::open(Env::Default(), path, opener); },
        path);
}

void OLEStorage::open(std::unique_ptr<ReadableFile> file, const std::filesystem::path& name) {
    openWith([&file] { return cfb::CompoundFileReader::open(std::move(file)); }, name);
}

void OLEStorage::openWith(const std::function<std::unique_ptr<cfb::CompoundFileReader>()>& opener,
                          const std::filesystem::path& path) {
    readHandle_.reset();
    try {
        readHandle_ = opener();
    } catch (const cfb::Error& error) {
        if (error.resultCode() == kShareViolation) {
            throw OLEStorageSharingException();
        }
        if (error.resultCode() == kNotStorage) {
            throw OLEStorageNotStorageException();
        }
        throw storageError(error, "opening storage [" + path.u8string() + "]");
    }
}

void OLEStorage::create(const std::filesystem::path& path) {
    createWith([&path] { return cfb::CompoundFileWriter::create(Env::Default(), path); }, path);
}

void OLEStorage::create(std::unique_ptr<WritableFile> file, const std::filesystem::path& name) {
    createWith([&file] { return cfb::CompoundFileWriter::create(std::move(file)); }, name);
}

void OLEStorage::createWith(
    const std::function<std::unique_ptr<cfb::CompoundFileWriter>()>& creator,
    const std::filesystem::path& path) {
    writeHandle_.reset();
    committed_ = false;
    outputPath_ = path;
    try {
        writeHandle_ = creator();
    } catch (const cfb::Error& error) {
        if (error.resultCode() == kShareViolation || error.resultCode() == kLockViolation) {
            throw OLEStorageSharingException();
        }
        throw storageError(error, "creating storage [" + path.u8string() + "]");
    }
}

cfb::CompoundFileReader& OLEStorage::readStorage() {
    if (readHandle_ == nullptr) {
        throw Exception(std::make_unique<StringErrorDetail>("Invalid read stream handle"));
    }
    return *readHandle_;
}

cfb::CompoundFileWriter& OLEStorage::writeStorage() {
    if (writeHandle_ == nullptr) {
        throw Exception(std::make_unique<StringErrorDetail>("Invalid write stream handle"));
    }
    return *writeHandle_;
}

void OLEStorage::copyRemainingElements() {
    cfb::CompoundFileReader& reader = readStorage();
    cfb::CompoundFileWriter& writer = writeStorage();
    for (std::uint32_t id : reader.children(cfb::CompoundFileReader::kRoot)) {
        const cfb::DirectoryEntry& entry = reader.entry(id);
        if (entry.isStream() && !isCopiedStream(entry.name)) {
            continue;
        }
        try {
            writer.copyElement(reader, id, cfb::CompoundFileWriter::kRoot);
        } catch (const cfb::Error& error) {
            // Asked for "Current User", the reader finds "current user": that stream was read
            // and written anew under the listed spelling, which its copy collides with. Nothing
            // is lost by passing over it.
            if (error.kind() == cfb::ErrorKind::AlreadyExists &&
                IsCaseVariantOfLeftOut(entry.name)) {
                continue;
            }
            throw storageError(error,
                               "copying element [" + cfb::EntryName::toUtf8(entry.name) + "]");
        }
    }
    try {
        writer.copyRootAttributes(reader);
    } catch (const cfb::Error& error) {
        throw storageError(error, "copying the attributes of the root storage");
    }
}

bool OLEStorage::isCopiedStream(const std::string& name) {
    try {
        return isCopiedStream(cfb::EntryName::fromUtf8(name));
    } catch (const cfb::Error&) {
        return true;  // no name of the list is malformed
    }
}

bool OLEStorage::isCopiedStream(const std::u16string& name) {
    for (const char16_t* leftOut : kLeftOut) {
        if (name == leftOut) {
            return false;
        }
    }
    return true;
}

void OLEStorage::commit() {
    committed_ = true;
    if (writeHandle_ == nullptr) {
        return;
    }
    try {
        writeHandle_->commit(cfb::CompoundFileWriter::Flush::Skip);
    } catch (const cfb::Error& error) {
        throw storageError(error, "committing storage [" + outputPath_.u8string() + "]");
    }
}
