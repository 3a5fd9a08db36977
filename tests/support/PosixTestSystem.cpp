#include <iconv.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <csignal>

#include "support/TestSystem.h"

namespace fixtures {

const bool kNameReplacedAtOnce = true;
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

std::optional<std::string> Utf16LEToUtf8(const std::string& bytes) {
    const iconv_t converter = ::iconv_open("UTF-8", "UTF-16LE");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string input = bytes;
    std::string output(bytes.size() * 2 + 16, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    const std::size_t result = ::iconv(converter, &in, &inLeft, &out, &outLeft);
    ::iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    output.resize(output.size() - outLeft);
    return output;
}

}  // namespace fixtures
