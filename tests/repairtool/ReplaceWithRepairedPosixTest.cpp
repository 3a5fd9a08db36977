// Replacing a file where only a POSIX system can set the scene: symbolic links, permission bits,
// owners, extended attributes, access control lists, write leases and folders made read-only.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "ReadOnlyFolder.h"
#include "ReplaceWithRepairedTest.h"
#include "repairtool/MakeBackupName.h"

namespace {

using namespace replacetest;

struct stat Status(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

TEST_F(BackupTest, AnythingUnderTheNameTakesIt) {
    fs::create_directory(scratch_ / "a (Backup).ppt");
    fs::create_symlink(scratch_ / "nowhere", scratch_ / "a (Backup 1).ppt");
    EXPECT_EQ(MakeBackupName(scratch_ / "a.ppt"), scratch_ / "a (Backup 2).ppt");
}

// The file's folder takes no new name; the repaired file waits in the temporary folder. The
// backup fails, and without one the file is overwritten in place, its kept copy waiting in the
// temporary folder until the overwrite is complete.
TEST_F(ReplaceWithRepairedTest, AFolderThatTakesNoNewNameIsOverwrittenInPlaceWithoutBackup) {
    for (const bool backup : {true, false}) {
        fresh();
        const ino_t inode = Status(file_).st_ino;
        auto repaired = Repaired(temp_.path(), "new");
        ReadOnlyFolder locked(scratch_.path());
        if (!locked.active()) {
            GTEST_SKIP() << "this file system cannot make a folder read-only for this user";
        }
        EXPECT_EQ(replace(file_, *repaired, backup), !backup) << message_;
        EXPECT_EQ(message_.rfind(kRefused, 0), backup ? 0u : std::string::npos) << message_;
        EXPECT_EQ(ReadFileBytes(file_), backup ? "old" : "new");
        EXPECT_EQ(Status(file_).st_ino, inode);
        EXPECT_EQ(Names(scratch_.path()), std::vector<std::string>{"talk.ppt"});
        EXPECT_EQ(Names(temp_.path()), std::vector<std::string>{repaired->path().filename()});
    }
}

TEST_F(ReplaceWithRepairedTest, SymbolicLinkLeadsToTheRealFile) {
    fs::create_directory(scratch_ / "real");
    fs::create_directory(scratch_ / "links");
    const fs::path real = scratch_ / "real" / "talk.ppt";
    const fs::path link = scratch_ / "links" / "talk.ppt";
    WriteFileBytes(real, "old");
    fs::create_symlink(real, link);
    auto repaired = Repaired(temp_.path(), "new");
    ASSERT_TRUE(replace(link, *repaired, true)) << message_;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real), "new");
    EXPECT_EQ(ReadFileBytes(scratch_ / "links" / "talk (Backup).ppt"), "old");
    EXPECT_EQ(Names(scratch_ / "real"), std::vector<std::string>{"talk.ppt"});
}

const char* const kAcl = "system.posix_acl_access";  // where the access control list is kept

// The value of the file's extended attribute `name`, "" when it has none.
std::string Attribute(const fs::path& path, const char* name) {
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size > 0 ? std::string(value, static_cast<std::size_t>(size)) : "";
}

// The backup is the original file under a second name (its bytes, owner, group, mode, times,
// attributes and access control list exactly) or, for a hard-linked original overwritten in
// place, a copy that keeps all of them; the repaired file keeps owner, group, mode (set-id bits
// too), attributes and access control list.
TEST_F(ReplaceWithRepairedTest, BackupIsTheOriginalAndTheRepairedFileKeepsItsMetadata) {
    const bool root = ::geteuid() == 0;
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "in place, the backup a copy" : "renamed, the backup a second name");
        fresh(linked);
        if (root) {
            ASSERT_EQ(::chown(file_.c_str(), 65534, 65534), 0);
        }
        ::chmod(file_.c_str(), root ? 06775 : 0664);
        ::setxattr(file_.c_str(), "user.note", "kept", 4, 0);
        const std::string note = Attribute(file_, "user.note");
        const std::string set = "setfacl -m u:daemon:rw,g:daemon:r '" + file_.string() + "'";
        const std::string acl = std::system(set.c_str()) == 0 ? Attribute(file_, kAcl) : "";
        const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ::utimensat(AT_FDCWD, file_.c_str(), old, 0);
        const struct stat before = Status(file_);
        auto repaired = Repaired(scratch_.path(), "new");
        ASSERT_TRUE(replace(file_, *repaired, true)) << message_;
        const fs::path backupPath = scratch_ / "talk (Backup).ppt";
        const struct stat backup = Status(backupPath);
        EXPECT_EQ(backup.st_ino == before.st_ino, !linked);
        EXPECT_EQ(backup.st_nlink, 1u);
        EXPECT_EQ(backup.st_mtim.tv_sec, 1000000000);
        EXPECT_EQ(ReadFileBytes(backupPath), "old");
        EXPECT_EQ(ReadFileBytes(file_), "new");
        for (const fs::path& name : {file_, backupPath}) {
            const struct stat st = Status(name);
            EXPECT_EQ(st.st_mode & 07777, before.st_mode & 07777) << name;
            EXPECT_EQ(st.st_uid, before.st_uid) << name;
            EXPECT_EQ(st.st_gid, before.st_gid) << name;
            EXPECT_EQ(Attribute(name, "user.note"), note) << name;
            EXPECT_EQ(Attribute(name, kAcl), acl) << name;
        }
    }
}

// True when the system grants this process a write lease on the file at `path`.
bool LeasesGranted(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const bool granted = ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
    ::close(fd);
    return granted;
}

// Refusals, each in the modes given (second name, backup): nothing is replaced, renamed,
// overwritten in place or followed, the file keeps what it holds, and no backup is left.
// - Between the read and the replacement the name is swapped for a link to another file, or
//   another program saves over the file by a rename, or appends to it.
// - Another program holds the file open (a viewer, an editor that will save over it), where
//   write leases are granted.
// - The name leaves no room for its backup or kept-copy name: the system's own reason.
TEST_F(ReplaceWithRepairedTest, RefusalsLeaveTheFileAsItIs) {
    WriteFileBytes(temp_ / "victim", "victim bytes");
    WriteFileBytes(file_, "old");
    const bool leases = LeasesGranted(file_);
    const fs::path longName = scratch_ / (std::string(246, 'x') + ".ppt");
    const std::string tooLong =
        kRefused + std::to_string(ENAMETOOLONG) + ". Your file has not been modified.\n";
    using Modes = std::vector<std::pair<bool, bool>>;
    const Modes unlinked{{false, false}, {false, true}};
    const Modes all{{false, false}, {false, true}, {true, false}, {true, true}};
    int elsewhere = -1;
    const struct {
        std::string name;
        std::function<void()> change;  // made after the file is pinned
        std::string message, bytes;
        Modes modes;
    } cases[] = {
        {"swapped for a link",
         [&] {
             fs::rename(file_, scratch_ / "moved.ppt");
             fs::create_symlink(temp_ / "victim", file_);
         },
         kChanged, "victim bytes", unlinked},
        {"saved over",
         [&] {
             WriteFileBytes(scratch_ / "saved", "saved");
             fs::rename(scratch_ / "saved", file_);
         },
         kChanged, "saved", unlinked},
        {"appended to", [&] { std::ofstream(file_, std::ios::app) << " appended"; }, kChanged,
         "old appended", unlinked},
        {"open elsewhere", [&] { elsewhere = ::open(file_.c_str(), O_RDONLY); }, kInUse, "old",
         leases ? all : Modes{}},
        {"name too long", [] {}, tooLong, "old", {{false, true}, {true, false}, {true, true}}},
    };
    for (const auto& c : cases) {
        for (const auto& [linked, backup] : c.modes) {
            SCOPED_TRACE(c.name + (linked ? ", second name" : "") + (backup ? ", backup" : ""));
            fresh(linked);
            const fs::path file = c.message == tooLong ? longName : file_;
            fs::rename(file_, file);
            const std::unique_ptr<PinnedFile> pinned = Env::Default().pinFile(file);
            c.change();
            auto repaired = Repaired(scratch_.path(), "new");
            EXPECT_FALSE(replace(file, *repaired, backup, pinned.get()));
            ::close(elsewhere);
            elsewhere = -1;
            EXPECT_EQ(message_, c.message);
            EXPECT_EQ(ReadFileBytes(file), c.bytes);
            repaired.reset();
            EXPECT_EQ(fs::exists(scratch_ / "other.ppt"), linked);
            for (const std::string& name : Names(scratch_.path())) {
                EXPECT_TRUE(name == file.filename() || name == "other.ppt" ||
                            (name == "moved.ppt" && ReadFileBytes(scratch_ / name) == "old"))
                    << name;
            }
        }
    }
}

}  // namespace
