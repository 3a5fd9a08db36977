#pragma once

#include <filesystem>
#include <string>

#include "platform/ReadableFile.h"
#include "repair/FixFile.h"

// Repairs every flattened embedded object of the presentation at `input` and of every
// presentation embedded in it, and writes the repaired presentation to `output` (an existing
// temporary file). The input is never changed. Returns 0 when objects were repaired (and the
// output was written and verified), 1 when nothing needed repair, 2 on error; `message` says
// which. Lets no exception out. With `openInput` the input is opened through it (the file
// opened when the run began) instead of by its path.
int RunRepairPass(const std::filesystem::path& input, FixFile& fixFile,
                  const std::filesystem::path& output, std::string& message,
                  const ReadableFileOpener& openInput = {});
