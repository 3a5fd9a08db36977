#include "cfb/SectorChain.h"

#include <algorithm>

namespace cfb {

void SectorChain::append(std::uint32_t sector) {
    if (!runs_.empty()) {
        Run& last = runs_.back();
        if (static_cast<std::uint64_t>(last.first) + last.count == sector) {
            ++last.count;
            ++count_;
            return;
        }
    }
    runs_.push_back(Run{sector, 1});
    runStarts_.push_back(count_);
    ++count_;
}

bool SectorChain::contains(std::uint32_t sector) const {
    return std::any_of(runs_.begin(), runs_.end(), [sector](const Run& run) {
        return sector >= run.first && sector - run.first < run.count;
    });
}

SectorChain::Location SectorChain::locate(std::uint64_t index) const {
    const auto next = std::upper_bound(runStarts_.begin(), runStarts_.end(), index);
    const std::size_t at = static_cast<std::size_t>(next - runStarts_.begin()) - 1;
    const std::uint64_t within = index - runStarts_[at];
    const Run& run = runs_[at];
    return Location{run.first + static_cast<std::uint32_t>(within),
                    run.count - static_cast<std::uint32_t>(within)};
}

}  // namespace cfb
