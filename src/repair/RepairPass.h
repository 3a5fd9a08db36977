#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "platform/ReadableFile.h"
#include "repair/FixFile.h"

class TempFile;

// Repairs every flattened embedded object of the presentation at `input` and of every
// presentation embedded in it. The input is never changed. Everything is examined and counted
// before anything is written: only when something needs repair is `createOutput` called, once,
// to create the empty file the repaired presentation is then written to, and read back from
// (it may throw an Exception, reported like any other). Returns 0 when objects were
// repaired (and the output was written and verified), 1 when nothing needed repair (no output
// was created), 2 on error; `message` says which. Lets no exception out.
int RunRepairPass(const std::filesystem::path& input, FixFile& fixFile,
                  const std::function<TempFile&()>& createOutput, std::string& message,
                  const ReadableFileOpener& openInput = {});

// The same examination as RunRepairPass, every depth included, without writing anything
// anywhere: no output, and no temporary file for the embedded presentations. Returns 0 when
// objects would be repaired (`fixFile` counts them), 1 when nothing needs repair, 2 on error;
// `message` says which, in the words of RunRepairPass for 1 and 2. Lets no exception out.
int RunCheckPass(const std::filesystem::path& input, FixFile& fixFile, std::string& message,
                 const ReadableFileOpener& openInput = {});
