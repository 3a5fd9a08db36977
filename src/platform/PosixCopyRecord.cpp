#include "platform/PosixCopyRecord.h"

#include <fcntl.h>

#include <sstream>

namespace {

constexpr const char* kMagic = "patchdoc-original 1";

}  // namespace

PosixCopyRecord PosixCopyRecord::Of(int fd, const struct stat& st, PinnedFile::CopyKind kind,
                                    std::string note) {
    PosixCopyRecord record;
    record.kind = kind;
    record.device = st.st_dev;
    record.inode = st.st_ino;
    struct statx birth {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &birth) == 0 &&
        (birth.stx_mask & STATX_BTIME) != 0) {
        record.bornSeconds = birth.stx_btime.tv_sec;
        record.bornNanoseconds = birth.stx_btime.tv_nsec;
    }
    record.size = st.st_size;
    record.modifiedSeconds = st.st_mtim.tv_sec;
    record.modifiedNanoseconds = st.st_mtim.tv_nsec;
    record.note = std::move(note);
    return record;
}

std::string PosixCopyRecord::text() const {
    std::ostringstream out;
    out << kMagic << ' ' << (kind == PinnedFile::CopyKind::Backup ? "backup" : "kept") << ' '
        << device << ' ' << inode << ' ' << bornSeconds << ' ' << bornNanoseconds << ' ' << size
        << ' ' << modifiedSeconds << ' ' << modifiedNanoseconds << '\n'
        << note;
    return out.str();
}

bool PosixCopyRecord::Parse(const std::string& text, PosixCopyRecord* record) {
    const std::string magic = kMagic;
    const std::size_t lineEnd = text.find('\n');
    if (text.compare(0, magic.size() + 1, magic + ' ') != 0 || lineEnd == std::string::npos) {
        return false;
    }
    std::istringstream in(text.substr(magic.size() + 1, lineEnd - magic.size() - 1));
    std::string kind;
    in >> kind >> record->device >> record->inode >> record->bornSeconds >>
        record->bornNanoseconds >> record->size >> record->modifiedSeconds >>
        record->modifiedNanoseconds;
    if (!in || (kind != "kept" && kind != "backup")) {
        return false;
    }
    record->kind = kind == "backup" ? PinnedFile::CopyKind::Backup : PinnedFile::CopyKind::Kept;
    record->note = text.substr(lineEnd + 1);
    return true;
}

bool PosixCopyRecord::sameFile(const PosixCopyRecord& other) const {
    return device == other.device && inode == other.inode && bornSeconds == other.bornSeconds &&
           bornNanoseconds == other.bornNanoseconds;
}
