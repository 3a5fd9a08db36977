#pragma once

#include <cstdint>

// Receives one step() per repaired shape.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void step(std::int32_t value) = 0;
};
