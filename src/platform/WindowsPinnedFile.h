#pragma once

#include <filesystem>
#include <memory>

#include "platform/PinnedFile.h"

// The Windows PinnedFile: opens `path` as it stands now, shared with readers and with renames
// but with no writer, and holds it. While the file is open no folder above it can be renamed.
// Never fails: a file that can't be opened answers every call with the error of its opening.
std::unique_ptr<PinnedFile> PinWindowsFile(const std::filesystem::path& path);
