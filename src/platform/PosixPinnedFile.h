#pragma once

#include <filesystem>
#include <memory>

#include "platform/PinnedFile.h"

// The POSIX PinnedFile: opens `path` as it stands now and holds the file and its real folder.
// Never fails: a file that can't be opened answers every call with the error of its opening.
std::unique_ptr<PinnedFile> PinPosixFile(const std::filesystem::path& path);
