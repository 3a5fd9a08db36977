#pragma once

#include "pptformat/Progress.h"

namespace fixtures {

// Counts the steps it is given.
class CountingProgress : public Progress {
public:
    void step(std::int32_t) override { ++steps; }
    int steps = 0;
};

}  // namespace fixtures
