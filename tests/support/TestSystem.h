#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the tests need of the system beyond the platform layer, one file per system.
namespace fixtures {

// The environment variable that names the folder for temporary files ("TMPDIR", "TMP").
extern const char* const kTempFolderVariable;

std::optional<std::string> Variable(const std::string& name);

// Sets the variable for this process and the programs it starts; nullopt removes it.
void SetVariable(const std::string& name, const std::optional<std::string>& value);

// Caps the size of every file this process writes (a write past it fails as on a full disk)
// until UncapFileSize; false where the system has no such cap.
bool CapFileSize(std::uint64_t bytes);
void UncapFileSize();

}  // namespace fixtures
