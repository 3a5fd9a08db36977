#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the tests need of the system beyond the platform layer, one file per system.
namespace fixtures {

// The environment variable that names the folder for temporary files ("TMPDIR", "TMP").
extern const char* const kTempFolderVariable;

// True where a file takes another's name in one step (rename), so that a reader finds the one or
// the other at every instant; false on Windows, whose replacement moves the two files one after
// the other: a reader may find no file for a moment.
extern const bool kNameReplacedAtOnce;

std::optional<std::string> Variable(const std::string& name);

// Sets the variable for this process and the programs it starts; nullopt removes it.
void SetVariable(const std::string& name, const std::optional<std::string>& value);

// Caps the size of every file this process writes (a write past it fails as on a full disk)
// until UncapFileSize; false where the system has no such cap.
bool CapFileSize(std::uint64_t bytes);
void UncapFileSize();

// UTF-16LE bytes as UTF-8, converted by the system's own converter (iconv, or the Windows code
// page functions); nullopt when it finds the bytes ill-formed.
std::optional<std::string> Utf16LEToUtf8(const std::string& bytes);

}  // namespace fixtures
