#include <stdlib.h>
#include <sys/resource.h>

#include <csignal>

#include "support/TestSystem.h"

namespace fixtures {

const char* const kTempFolderVariable = "TMPDIR";

std::optional<std::string> Variable(const std::string& name) {
    const char* value = ::getenv(name.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

namespace {
rlimit gSavedLimit{};
void (*gSavedHandler)(int) = nullptr;
}  // namespace

// With SIGXFSZ ignored, a write past the limit fails with EFBIG.
bool CapFileSize(std::uint64_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &gSavedLimit);
    gSavedHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit cap{static_cast<rlim_t>(bytes), gSavedLimit.rlim_max};
    return ::setrlimit(RLIMIT_FSIZE, &cap) == 0;
}

void UncapFileSize() {
    ::setrlimit(RLIMIT_FSIZE, &gSavedLimit);
    std::signal(SIGXFSZ, gSavedHandler);
}

}  // namespace fixtures
