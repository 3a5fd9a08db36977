#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class CreatedFile;
class ReadableFile;

// The file a run repairs, resolved and opened once when the run begins: the file itself and the
// folder that really holds it are held open, so that every later step works on what was opened
// then, whatever happens to the path meanwhile (a symbolic link put in its place, a folder
// renamed). Paths handed to these calls that lie in the file's folder are reached through the
// held folder; names are never followed through a link that was not there at the start.
// Every call returns 0 or an error number (the platform's, or kChanged).
class PinnedFile {
public:
    // The file's name in its folder no longer names the file that was opened, or the file's
    // size or modification or change time differ from what they were when it was opened.
    static constexpr int kChanged = -1;
    // The file system can't give the file a further name there (no hard links, another file
    // system, links not allowed to the caller).
    static constexpr int kNoLink = -2;
    // Another program has the file open, or holds a lock on it.
    static constexpr int kInUse = -3;

    // Copies made before the file is overwritten in place (keepCopy).
    enum class CopyKind {
        Backup,  // the file's owner, group, permission bits and attributes, as copyTo gives them
        Kept,    // the caller's own, readable by the caller only
    };
    // A copy made by keepCopy, as findCopy finds it again.
    struct MarkedCopy {
        std::filesystem::path path;
        CopyKind kind = CopyKind::Kept;
        // The file still has the size and modification time it had when the copy was made.
        bool fileUnchanged = false;
        std::string note;
    };

    virtual ~PinnedFile() = default;

    // Where the file lives: links resolved when it was opened.
    virtual const std::filesystem::path& realPath() const = 0;

    // A reader of the opened file's bytes, shared with other readers only (as
    // Env::openReadable).
    virtual int openReader(std::unique_ptr<ReadableFile>* file) = 0;

    // kChanged when another program changed or replaced the file since it was opened. Changes
    // this object made itself (a name added or taken away) do not count.
    virtual int checkUnchanged() = 0;

    // 0 when the caller may replace the file's content: it has a write permission bit and the
    // caller is allowed to write it.
    virtual int checkWritable() = 0;

    // How many names the file has, its own included.
    virtual unsigned long nameCount() = 0;

    // True when `path` names this very file (not through a link).
    virtual bool isNamedBy(const std::filesystem::path& path) = 0;

    // Gives the file the new name `path` as well (a hard link), refusing an existing name;
    // kNoLink where no such name can be made.
    virtual int addName(const std::filesystem::path& path) = 0;

    // Writes a complete copy of the file to `path`: its bytes, permission bits, owner and group
    // where allowed, access and modification times, extended attributes and access control
    // lists where the file system keeps them. The copy is flushed and only then given the name;
    // with replace false an existing name is refused (EEXIST, before anything is copied), with
    // replace true it is replaced.
    virtual int copyTo(const std::filesystem::path& path, bool replace) = 0;

    // Creates a new file as Env::createFile does, in the folder that holds this file (the held
    // folder, whatever its path names by now).
    virtual int createBeside(const std::string& prefix, std::unique_ptr<CreatedFile>* file) = 0;

    // Readies `replacement`, a complete file made by createBeside, to take this file's place by
    // a rename: gives it this file's owner, group, permission bits (set-id bits included),
    // extended attributes and access control lists, and flushes it. Fails (EPERM, ENOTSUP, ...)
    // when any of them can't be given, when the file lies in another folder (EXDEV), or when the
    // folder would refuse the rename (a sticky folder neither of whose owner nor of the file's
    // owner the caller is).
    virtual int prepareReplacement(CreatedFile& replacement) = 0;

    // Puts `replacement`, readied by prepareReplacement, in the place of the file's name and
    // flushes the folder. CreatedFile::kNameTaken when the replacement's own name no longer
    // names it; the file's name is then unchanged, as on every other failure.
    virtual int renameOver(CreatedFile& replacement) = 0;

    // Overwrites the file's content with the content of `source`, after taking the space for
    // all of it, and flushes it. `*touched` tells whether any byte of the file had changed when
    // the call failed.
    virtual int overwriteWith(CreatedFile& source, bool* touched) = 0;

    // Keeps other programs away from the file until this object is destroyed, as far as the
    // system allows. The file is reopened (for writing where the caller may) as its only open
    // handle in this process and locked exclusively, and takes a write lease where the system
    // grants one: another program that opens the file then waits until letGo() or until this
    // object is gone (for at most the system's lease-break time). kInUse when another program has
    // the file open (where a lease can be asked for) or locked. Without a lease (the caller neither
    // owns the file nor may take leases, or the file system keeps none) the locks keep out only
    // programs that lock, and openedMeanwhile() tells afterwards whether another program opened the
    // file.
    virtual int holdExclusively() = 0;

    // Ends the hold of holdExclusively(): the lease and the locks are given up.
    virtual void letGo() = 0;

    // True when another program opened the file after holdExclusively() and so may have written
    // to it: without a lease any program that opened it, with one only after the system broke
    // the lease.
    virtual bool openedMeanwhile() = 0;

    // Writes a complete copy of the file to `path`, refusing an existing name, as copyTo does,
    // marked as this file's copy from before an in-place overwrite: the copy records which file
    // it belongs to (its identity on the system), the file's size and modification time, and
    // `note`; the file records where the copy is, so that a run on any of its names finds it.
    // Where the file system keeps no such records the copy is made all the same, unmarked.
    virtual int keepCopy(const std::filesystem::path& path, CopyKind kind,
                         const std::string& note) = 0;

    // The copy the file records, else the first of `candidates` that is a marked copy of this
    // very file. Only a copy owned by the caller or by the file's owner counts; a planted file,
    // or the copy of another file, does not. False when there is none.
    virtual bool findCopy(const std::vector<std::filesystem::path>& candidates,
                          MarkedCopy* copy) = 0;

    // Takes away the file's record of `copy`, and deletes it when it is a kept copy.
    virtual void forgetCopy(const MarkedCopy& copy) = 0;
};
