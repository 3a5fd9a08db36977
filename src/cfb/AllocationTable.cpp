#include "cfb/AllocationTable.h"

#include <algorithm>

#include "cfb/Error.h"
#include "cfb/Format.h"
#include "cfb/SectorChain.h"
#include "cfb/SectorClaims.h"

namespace cfb {

namespace {

const char* markerName(std::uint32_t value) {
    switch (value) {
        case kFreeSector:
            return "free";
        case kFatSector:
            return "a FAT sector";
        case kDifatSector:
            return "a DIFAT sector";
        default:
            return "reserved";
    }
}

}  // namespace

AllocationTable::AllocationTable(std::vector<std::uint32_t> entries, std::uint64_t unitCount,
                                 std::string tableName, std::string unitName)
    : entries_(std::move(entries)),
      limit_(std::min<std::uint64_t>(unitCount, entries_.size())),
      tableName_(std::move(tableName)),
      unitName_(std::move(unitName)) {}

void AllocationTable::checkLink(std::uint32_t unit, std::uint32_t previous,
                                const std::string& owner) const {
    if (unit > kMaxRegularSector) {
        const std::string where = tableName_ + " chain of " + owner;
        const std::string from = previous == kEndOfChain
                                     ? "starts at a " + unitName_ + " marked "
                                     : "continues after " + unitName_ + " " +
                                           std::to_string(previous) + " with a link marked ";
        throw Error(ErrorKind::Corrupt, where + " " + from + markerName(unit));
    }
    if (unit >= limit_) {
        throw Error(ErrorKind::Corrupt, tableName_ + " chain of " + owner + " points to " +
                                            unitName_ + " " + std::to_string(unit) +
                                            ", beyond the last one (" + std::to_string(limit_) +
                                            " exist)");
    }
}

std::uint64_t AllocationTable::walk(std::uint32_t start, const std::string& owner,
                                    SectorClaims* claims, SectorChain* out,
                                    std::uint64_t limit) const {
    std::uint64_t length = 0;
    std::uint32_t previous = kEndOfChain;
    for (std::uint32_t unit = start; unit != kEndOfChain; unit = entries_[unit]) {
        if (claims == nullptr && length == limit) {
            break;
        }
        checkLink(unit, previous, owner);
        if (claims != nullptr && !claims->claim(unit)) {
            const bool loops = reachesWithin(start, unit, length);
            throw Error(ErrorKind::Corrupt, tableName_ + " chain of " + owner +
                                                (loops ? " loops at " : " uses ") + unitName_ +
                                                " " + std::to_string(unit) +
                                                (loops ? "" : ", which another chain uses too"));
        }
        if (out != nullptr && length < limit) {
            out->append(unit);
        }
        ++length;
        previous = unit;
    }
    return length;
}

bool AllocationTable::reachesWithin(std::uint32_t start, std::uint32_t target,
                                    std::uint64_t steps) const {
    std::uint32_t unit = start;
    for (std::uint64_t i = 0; i < steps; ++i) {
        if (unit == target) {
            return true;
        }
        unit = entries_[unit];
    }
    return false;
}

}  // namespace cfb
