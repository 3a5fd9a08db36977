#pragma once

#include <cstdint>
#include <string>

#include "platform/PinnedFile.h"
#include "platform/WindowsSupport.h"

// What a copy made before an in-place overwrite records about its file, in an alternate data
// stream of the copy: the file's identity on its volume, its size and last write time when the
// copy was made, and a note.
struct WindowsCopyRecord {
    // The stream of the copy that holds the record.
    static constexpr const wchar_t* kStream = L":patchdoc.original-of";
    // The stream of the file that holds where its copy is.
    static constexpr const wchar_t* kFileStream = L":patchdoc.original-in";

    PinnedFile::CopyKind kind = PinnedFile::CopyKind::Kept;
    std::uint32_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t lastWriteTime = 0;
    std::string note;

    static WindowsCopyRecord Of(const winsupport::FileState& file, PinnedFile::CopyKind kind,
                                std::string note);
    std::string text() const;
    // False for a text that is not such a record.
    static bool Parse(const std::string& text, WindowsCopyRecord* record);
    bool sameFile(const winsupport::FileState& file) const {
        return volume == file.volume && index == file.index;
    }
};
