#pragma once

#include <filesystem>

// Where a run without backups keeps a copy of the original while it overwrites the file in
// place: the file's name followed by ".patchdoc-original", in the same folder (in the temporary
// folder when the file's folder takes no new file). The copy is
// removed once the overwrite is complete; one that is found later is the original of an
// interrupted run.
std::filesystem::path KeptOriginalName(const std::filesystem::path& file);
