#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "streams/TempFile.h"

// A folder for the file to repair and another one as the temporary folder (TMPDIR).
class ReplaceFixture : public ::testing::Test {
protected:
    // A repaired presentation's stand-in: a temporary file holding `bytes`.
    static std::unique_ptr<TempFile> Repaired(const std::filesystem::path& folder,
                                              const std::string& bytes) {
        auto file = std::make_unique<TempFile>(folder);
        WriteFileBytes(file->path(), bytes);
        return file;
    }

    // The names in `folder`, sorted.
    static std::vector<std::string> Names(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchFolder scratch_;
    ScratchFolder temp_;
    ScopedTmpdir tmpdir_{temp_.path().string()};
};
