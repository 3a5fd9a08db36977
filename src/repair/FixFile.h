#pragma once

#include <cstdint>

#include "pptformat/Progress.h"

// Counts the shapes repaired during one repair pass, in the presentation and in every
// presentation embedded in it.
class FixFile : public Progress {
public:
    // One repaired shape; the value is not used.
    void step(std::int32_t) override { ++fixedCount_; }

    std::int32_t fixedCount() const { return fixedCount_; }
    void reset() { fixedCount_ = 0; }

private:
    std::int32_t fixedCount_ = 0;
};
