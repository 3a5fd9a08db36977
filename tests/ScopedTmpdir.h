#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

// Sets TMPDIR, the program's temporary folder, for as long as this object lives.
class ScopedTmpdir {
public:
    explicit ScopedTmpdir(const std::string& value) {
        if (const char* old = ::getenv("TMPDIR")) {
            old_ = old;
        }
        ::setenv("TMPDIR", value.c_str(), 1);
    }
    ScopedTmpdir(const ScopedTmpdir&) = delete;
    ScopedTmpdir& operator=(const ScopedTmpdir&) = delete;
    ~ScopedTmpdir() {
        if (old_) {
            ::setenv("TMPDIR", old_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

private:
    std::optional<std::string> old_;
};
