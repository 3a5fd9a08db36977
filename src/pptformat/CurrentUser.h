#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pptformat/RecordHeader.h"
#include "pptformat/Stream.h"

// The "Current User" stream: one current user atom. It names the newest user edit of the
// Document stream and carries the header token that tells plain from encrypted presentations.
// Written back unchanged except for the offset of the current edit.
class CurrentUser : public Stream {
public:
    static constexpr char kStreamName[] = "Current User";
    static constexpr std::uint32_t kPlainToken = 0xE391C05F;
    static constexpr std::uint32_t kEncryptedToken = 0xF3D1C4DF;

    // Opens and reads the stream of the storage's input root. Throws IOException
    // "Error reading Current User Atom" when the stream holds another record, and the stream
    // errors when it ends before the fixed part, the ANSI name or relVersion.
    explicit CurrentUser(OLEStorage& storage);

    std::uint32_t headerToken() const;
    std::uint32_t offsetToCurrentEdit() const;
    void setOffsetToCurrentEdit(std::uint32_t offset);

    // Creates the stream in the storage's output root and writes the atom: the header as read,
    // the fixed part, the ANSI name, relVersion and the Unicode name (zeros when it was missing).
    void save(OLEStorage& storage);

private:
    static constexpr std::size_t kFixedSize = 20;

    std::uint16_t userNameLength() const;

    RecordHeader header_;
    // size, headerToken, offsetToCurrentEdit, lenUserName, docFileVersion, majorVersion,
    // minorVersion and reserved, as stored.
    std::array<std::uint8_t, kFixedSize> fixed_{};
    std::vector<std::uint8_t> ansiName_;
    std::array<std::uint8_t, 4> relVersion_{};
    std::vector<std::uint8_t> unicodeName_;
};
