#pragma once

#include <cstdint>

#include "pptformat/Progress.h"

// Counts the objects a repair pass fixed, in the presentation and all presentations in it.
class FixFile : public Progress {
  public:
    void step(std::int32_t) override { ++fixedCount; }

    std::int32_t fixedCount = 0;
};
