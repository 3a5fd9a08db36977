#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/WindowsSupport.h"
#include "support/TestSystem.h"

namespace fixtures {

const bool kNameReplacedAtOnce = false;
const char* const kTempFolderVariable = "TMP";

std::optional<std::string> Variable(const std::string& name) {
    const std::wstring wide = winsupport::Widen(name);
    const DWORD size = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    std::wstring value(size, L'\0');
    value.resize(::GetEnvironmentVariableW(wide.c_str(), value.data(), size));
    return winsupport::Narrow(value);
}

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
    // Both the system's block (read by GetTempPathW and by started programs) and the C
    // runtime's copy (read by getenv).
    const std::wstring wide = winsupport::Widen(name);
    const std::wstring text = value ? winsupport::Widen(*value) : std::wstring();
    ::SetEnvironmentVariableW(wide.c_str(), value ? text.c_str() : nullptr);
    ::_wputenv_s(wide.c_str(), text.c_str());
}

bool CapFileSize(std::uint64_t) {
    return false;  // no per-process limit on file sizes
}

void UncapFileSize() {}

std::optional<std::string> Utf16LEToUtf8(const std::string& bytes) {
    std::wstring wide(bytes.size() / 2, L'\0');
    std::memcpy(wide.data(), bytes.data(), wide.size() * 2);  // Windows is little-endian
    const bool wellFormed =
        bytes.size() % 2 == 0 &&
        (wide.empty() ||
         ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                               static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr) > 0);
    return wellFormed ? std::optional<std::string>(winsupport::Narrow(wide)) : std::nullopt;
}

}  // namespace fixtures
