#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pptformat/Record.h"
#include "streams/InputStream.h"

// A shape property table (OfficeArtFOPT) as the OLE shape fix needs it: the ids of its primary
// entries, and a copy of the body of the shape record (OfficeArtFSP) it belongs to.
class PropertyRecord {
public:
    static constexpr std::uint16_t kPib = 0x0104;
    static constexpr std::uint16_t kPictureId = 0x010B;
    static constexpr std::uint32_t kOleShapeFlag = 0x10;

    // Parses the table at its body offset in `in`, then moves past its complex data and any
    // secondary and tertiary tables behind it (a failing read there fails the parse), and copies
    // the shape record's 8 body bytes (zeros when there is no shape record).
    // Throws PropertySizeException when the entries overrun the table after a pib entry,
    // std::runtime_error "Bad Property record" when they overrun it otherwise, and the stream's
    // errors.
    PropertyRecord(const Record& table, InputStream& in, Record* shape);
    PropertyRecord(const PropertyRecord&) = delete;
    PropertyRecord& operator=(const PropertyRecord&) = delete;

    // True when an entry of the primary table has this property id (low 14 bits of its key).
    bool hasProperty(std::uint16_t id) const;

    std::uint32_t shapeFlags() const;
    void setShapeFlags(std::uint32_t flags);
    // spid and shape flags; stays at one address for the object's life, because a repaired
    // shape record is written from it.
    const std::array<std::uint8_t, 8>& shapeBytes() const { return shapeBytes_; }
    Record* shapeRecord() const { return shapeRecord_; }
    const Record& tableRecord() const { return tableRecord_; }

private:
    void skipFollowingTables(InputStream& in);

    std::vector<std::uint16_t> propertyIds_;
    const Record& tableRecord_;
    std::array<std::uint8_t, 8> shapeBytes_{};
    Record* shapeRecord_;
};
