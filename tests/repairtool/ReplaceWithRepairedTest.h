#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ScopedTmpdir.h"
#include "ScratchFolder.h"
#include "platform/Env.h"
#include "platform/FolderDescriptor.h"
#include "repairtool/ReplaceWithRepaired.h"
#include "streams/TempFile.h"

namespace replacetest {

namespace fs = std::filesystem;

const std::string kRefused = "Backup failed with error code ";
const std::string kInUse =
    "The file is in use by another program. Your file has not been modified.\n";
const std::string kChanged =
    "The file was changed by another program while it was being repaired. Your file has not "
    "been modified.\n";

// True where files in the temporary folder, where the tests' scratch folders are, keep the
// records that mark a copy as a file's own (extended attributes, alternate data streams): only
// there is a kept copy recognised, by its own name, or with `fromOtherNames` from any name of
// the file too (not under Wine, which keeps a stream as a file of its own).
inline bool RecordsCopies(bool fromOtherNames = true) {
    const ScratchFolder probes;
    WriteFileBytes(probes / "file", "");
    std::filesystem::create_hard_link(probes / "file", probes / "other");
    PinnedFile::MarkedCopy found;
    return Env::Default()
                   .pinFile(probes / "file")
                   ->keepCopy(probes / "copy", PinnedFile::CopyKind::Kept, "") == 0 &&
           Env::Default()
               .pinFile(probes / (fromOtherNames ? "other" : "file"))
               ->findCopy(fromOtherNames ? std::vector<std::filesystem::path>{}
                                         : std::vector<std::filesystem::path>{probes / "copy"},
                          &found);
}

// A folder for the file to repair, "talk.ppt", and another one as the temporary folder (TMPDIR).
class ReplaceWithRepairedTest : public ::testing::Test {
protected:
    // A repaired presentation's stand-in: a temporary file holding `bytes`.
    static std::unique_ptr<TempFile> Repaired(const fs::path& folder, const std::string& bytes) {
        auto file = std::make_unique<TempFile>(folder);
        WriteFileBytes(file->path(), bytes);
        return file;
    }

    // The names in `folder`, sorted. No name of the tests holds a ':'; Wine keeps a file's
    // alternate data streams as files "name:stream" beside it, which Windows does not list.
    static std::vector<std::string> Names(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().u8string();
            if (name.find(':') == std::string::npos) {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // An emptied scratch folder holding "talk.ppt" with the bytes "old", and with `linked` the
    // second name "other.ppt".
    void fresh(bool linked = false) {
        for (const std::string& name : Names(scratch_.path())) {
            if (!fs::is_symlink(scratch_ / name)) {
                fs::permissions(scratch_ / name, fs::perms::owner_write, fs::perm_options::add);
            }
            fs::remove_all(scratch_ / name);
        }
        WriteFileBytes(file_, "old");
        if (linked) {
            fs::create_hard_link(file_, scratch_ / "other.ppt");
        }
    }

    // The identity of the file `path` names, as the platform tells it.
    static FileIdentity IdentityOf(const fs::path& path) {
        FolderDescriptor folder;
        FileIdentity identity;
        EXPECT_EQ(FolderDescriptor::open(path.parent_path().u8string(), &folder), 0) << path;
        EXPECT_EQ(folder.identify(path.filename().u8string(), &identity), 0) << path;
        return identity;
    }

    // Replaces `file`, pinned now unless `pinned` is given.
    bool replace(const fs::path& file, TempFile& repaired, bool backup,
                 PinnedFile* pinned = nullptr) {
        message_.clear();
        return ReplaceWithRepaired(file, pinned ? *pinned : *Env::Default().pinFile(file), repaired,
                                   backup, message_);
    }

    // The kind of error a refusal of the replacement gives, by the system's number in it; Other
    // for any other message.
    Env::ErrorKind refusal() const {
        if (message_.rfind(kRefused, 0) != 0) {
            return Env::ErrorKind::Other;
        }
        const char* digits = message_.c_str() + kRefused.size();
        char* end = nullptr;
        const long number = std::strtol(digits, &end, 10);
        return end != digits && std::string(end) == ". Your file has not been modified.\n"
                   ? Env::Default().errorKind(static_cast<int>(number))
                   : Env::ErrorKind::Other;
    }

    ScratchFolder scratch_;
    ScratchFolder temp_;
    ScopedTmpdir tmpdir_{temp_.path().u8string()};
    const fs::path file_ = scratch_ / "talk.ppt";
    std::string message_;
};

using BackupTest = ReplaceWithRepairedTest;

}  // namespace replacetest
