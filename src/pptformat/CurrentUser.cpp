#include "pptformat/CurrentUser.h"

#include "errors/IOException.h"
#include "errors/StringErrorDetail.h"
#include "pptformat/RecordType.h"
#include "streams/LittleEndian.h"

namespace {
constexpr std::size_t kTokenOffset = 4;
constexpr std::size_t kCurrentEditOffset = 8;
constexpr std::size_t kUserNameLengthOffset = 12;
}  // namespace

CurrentUser::CurrentUser(OLEStorage& storage) : Stream(kStreamName) {
    open(storage);
    std::uint8_t headerBytes[RecordHeader::kSize] = {};
    read(headerBytes, sizeof headerBytes);
    header_ = RecordHeader::parse(headerBytes);
    if (header_.type != RecordType::kCurrentUserAtom) {
        throw IOException(std::make_unique<StringErrorDetail>("Error reading Current User Atom"));
    }
    read(fixed_.data(), fixed_.size());
    ansiName_.assign(userNameLength(), 0);
    unicodeName_.assign(2 * static_cast<std::size_t>(userNameLength()), 0);
    if (!ansiName_.empty()) {
        read(ansiName_.data(), ansiName_.size());
    }
    read(relVersion_.data(), relVersion_.size());
    if (!unicodeName_.empty()) {
        try {
            read(unicodeName_.data(), unicodeName_.size());
        } catch (const Exception&) {
            // Older writers leave the Unicode name out; it is then written back as zeros.
        }
    }
}

std::uint32_t CurrentUser::headerToken() const {
    return LittleEndian::readU32(fixed_.data() + kTokenOffset);
}

std::uint32_t CurrentUser::offsetToCurrentEdit() const {
    return LittleEndian::readU32(fixed_.data() + kCurrentEditOffset);
}

void CurrentUser::setOffsetToCurrentEdit(std::uint32_t offset) {
    LittleEndian::writeU32(fixed_.data() + kCurrentEditOffset, offset);
}

std::uint16_t CurrentUser::userNameLength() const {
    return LittleEndian::readU16(fixed_.data() + kUserNameLengthOffset);
}

void CurrentUser::save(OLEStorage& storage) {
    create(storage);
    std::uint8_t headerBytes[RecordHeader::kSize];
    header_.serialize(headerBytes);
    write(headerBytes, sizeof headerBytes);
    write(fixed_.data(), fixed_.size());
    write(ansiName_.data(), ansiName_.size());
    write(relVersion_.data(), relVersion_.size());
    write(unicodeName_.data(), unicodeName_.size());
}
