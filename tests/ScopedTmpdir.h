#pragma once

#include <optional>
#include <string>

#include "support/TestSystem.h"

// Sets the programs' temporary folder (TMPDIR, or TMP on Windows) for as long as this object
// lives.
class ScopedTmpdir {
public:
    explicit ScopedTmpdir(const std::string& value)
        : old_(fixtures::Variable(fixtures::kTempFolderVariable)) {
        fixtures::SetVariable(fixtures::kTempFolderVariable, value);
    }
    ScopedTmpdir(const ScopedTmpdir&) = delete;
    ScopedTmpdir& operator=(const ScopedTmpdir&) = delete;
    ~ScopedTmpdir() { fixtures::SetVariable(fixtures::kTempFolderVariable, old_); }

private:
    std::optional<std::string> old_;
};
