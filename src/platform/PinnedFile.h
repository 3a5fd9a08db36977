#pragma once

#include <filesystem>
#include <memory>
#include <string>

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
    // with replace false an existing name is refused, with replace true it is replaced.
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
};
