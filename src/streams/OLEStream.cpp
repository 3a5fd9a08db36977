#include "streams/OLEStream.h"

#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/EntryName.h"
#include "cfb/Error.h"
#include "cfb/StreamReader.h"
#include "cfb/StreamWriter.h"
#include "errors/HRESULTErrorDetail.h"
#include "errors/IOException.h"
#include "streams/OLEStorage.h"

namespace {

constexpr std::uint32_t kInvalidFunction = 0x80030001;  // STG_E_INVALIDFUNCTION
constexpr std::uint32_t kInvalidHandle = 0x80030006;    // STG_E_INVALIDHANDLE

IOException streamError(std::uint32_t result, const char* message) {
    return IOException(std::make_unique<HRESULTErrorDetail>(result, message));
}

}  // namespace

OLEStream::OLEStream() = default;

OLEStream::~OLEStream() {
    release();
}

bool OLEStream::open(OLEStorage& storage, const std::string& name) {
    cfb::CompoundFileReader& reader = storage.readStorage();
    readHandle_.reset();
    size_ = 0;
    try {
        const auto id = reader.find(cfb::CompoundFileReader::kRoot, cfb::EntryName::fromUtf8(name));
        if (!id || !reader.entry(*id).isStream()) {
            return false;
        }
        readHandle_ = reader.openStream(*id);
    } catch (const cfb::Error&) {
        return false;
    }
    size_ = readHandle_->size();
    return true;
}

bool OLEStream::create(OLEStorage& storage, const std::string& name) {
    cfb::CompoundFileWriter& writer = storage.writeStorage();
    writeHandle_.reset();
    try {
        writeHandle_ =
            writer.createStream(cfb::CompoundFileWriter::kRoot, cfb::EntryName::fromUtf8(name));
    } catch (const cfb::Error&) {
        return false;
    }
    return true;
}

std::size_t OLEStream::read(std::uint8_t* buffer, std::size_t count) {
    if (count == 0) {
        return 0;
    }
    if (readHandle_ == nullptr) {
        throw streamError(kInvalidHandle, "reading stream");
    }
    std::size_t got = 0;
    try {
        got = readHandle_->read(buffer, count);
    } catch (const cfb::Error& error) {
        throw streamError(error.resultCode(), "reading stream");
    }
    if (got == 0) {
        throw streamError(0, "reading 0 bytes from stream");
    }
    return got;
}

void OLEStream::seek(std::int64_t offset, SeekOrigin origin) {
    if (readHandle_ == nullptr) {
        throw streamError(kInvalidHandle, "setting seek pointer");
    }
    std::uint64_t base = 0;
    if (origin == SeekOrigin::Current) {
        base = readHandle_->position();
    } else if (origin == SeekOrigin::End) {
        base = readHandle_->size();
    }
    if (offset < 0 && static_cast<std::uint64_t>(-(offset + 1)) + 1 > base) {
        throw streamError(kInvalidFunction, "setting seek pointer");
    }
    readHandle_->seek(base + static_cast<std::uint64_t>(offset));
}

std::int64_t OLEStream::tell() {
    if (readHandle_ == nullptr) {
        throw streamError(kInvalidHandle, "getting seek pointer");
    }
    return static_cast<std::int64_t>(readHandle_->position());
}

void OLEStream::write(const std::uint8_t* buffer, std::size_t count) {
    if (writeHandle_ == nullptr) {
        throw streamError(kInvalidHandle, "writing stream");
    }
    try {
        writeHandle_->write(buffer, count);
    } catch (const cfb::Error& error) {
        throw streamError(error.resultCode(), "writing stream");
    }
}

void OLEStream::release() {
    readHandle_.reset();
    writeHandle_.reset();
}
