#pragma once

#include <filesystem>
#include <string>

#include "repair/FixFile.h"

// Repairs the presentation at `input` and writes the result as a new compound file to `output`
// (an existing temporary file); `input` is never changed. Returns 0 when objects were repaired
// (the output holds the repaired presentation), 1 when nothing needed repair, 2 on an error.
// Sets `message` on every path and lets no exception out.
int RunRepairPass(const std::filesystem::path& input, FixFile& fixFile,
                  const std::filesystem::path& output, std::string& message);
