#pragma once

#include <string>
#include <unordered_set>

// The files this run has created (backup copies), so that a folder listed again, by a repeated
// or overlapping folder argument, never hands them to the repair. Files are told apart by
// their canonical path, so other spellings of the same path match.
class CreatedFiles {
public:
    void add(const std::string& path);
    bool contains(const std::string& path) const;

private:
    std::unordered_set<std::string> canonicalPaths_;
};
