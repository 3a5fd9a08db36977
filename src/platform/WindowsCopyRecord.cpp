#include "platform/WindowsCopyRecord.h"

#include <sstream>

namespace {
constexpr const char* kMagic = "patchdoc-copy-1";
}  // namespace

WindowsCopyRecord WindowsCopyRecord::Of(const winsupport::FileState& file,
                                        PinnedFile::CopyKind kind, std::string note) {
    WindowsCopyRecord record;
    record.kind = kind;
    record.volume = file.volume;
    record.index = file.index;
    record.size = file.size;
    record.lastWriteTime = file.lastWriteTime;
    record.note = std::move(note);
    return record;
}

std::string WindowsCopyRecord::text() const {
    std::ostringstream out;
    out << kMagic << ' ' << (kind == PinnedFile::CopyKind::Backup ? "backup" : "kept") << ' '
        << volume << ' ' << index << ' ' << size << ' ' << lastWriteTime << ' ' << note;
    return out.str();
}

bool WindowsCopyRecord::Parse(const std::string& text, WindowsCopyRecord* record) {
    std::istringstream in(text);
    std::string magic;
    std::string kind;
    if (!(in >> magic >> kind >> record->volume >> record->index >> record->size >>
          record->lastWriteTime) ||
        magic != kMagic || (kind != "backup" && kind != "kept")) {
        return false;
    }
    record->kind = kind == "backup" ? PinnedFile::CopyKind::Backup : PinnedFile::CopyKind::Kept;
    in.get();  // the blank before the note
    std::getline(in, record->note, '\0');
    return true;
}
