#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cfb {

class SectorChain;
class SectorClaims;

// A FAT or mini FAT as read from a file: one next-link per sector (or mini sector). Chains are
// followed with every link checked, so damaged tables give precise errors instead of loops or
// reads outside the file.
class AllocationTable {
public:
    // `unitCount` is how many sectors exist (in the file, or in the mini stream); links to
    // sectors at or beyond it, or beyond the table, are errors. `tableName` ("FAT") and
    // `unitName` ("sector") make up the error messages.
    AllocationTable(std::vector<std::uint32_t> entries, std::uint64_t unitCount,
                    std::string tableName, std::string unitName);

    // Follows the chain that starts at `start` (kEndOfChain: the empty chain) and returns how many
    // sectors it holds. With `claims`, every sector of the whole chain is claimed and a sector
    // claimed before is an error (a loop, or a sector another chain uses). Without `claims`, the
    // walk ends after `limit` sectors. The first `limit` sectors are appended to `out` when it is
    // given. `owner` names the chain in errors, e.g. "entry 'Pictures'" or "the directory".
    std::uint64_t walk(std::uint32_t start, const std::string& owner, SectorClaims* claims,
                       SectorChain* out, std::uint64_t limit) const;

    std::uint64_t unitCount() const { return limit_; }

private:
    bool reachesWithin(std::uint32_t start, std::uint32_t target, std::uint64_t steps) const;
    void checkLink(std::uint32_t unit, std::uint32_t previous, const std::string& owner) const;

    std::vector<std::uint32_t> entries_;
    std::uint64_t limit_;
    std::string tableName_;
    std::string unitName_;
};

}  // namespace cfb
