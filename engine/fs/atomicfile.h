#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/fs/groupaccess.h"

#include <sys/types.h>

#include <string>

namespace qfs {

// A new file that appears under its final name only when it is complete: it is written as a
// temporary file in the same folder and renamed over the final name by commit(). Until then a
// file of the final name stays exactly as it was, and any failure leaves no temporary file.
class AtomicFile {
public:
    // What may be under the final name already, and is replaced by commit().
    enum class Existing {
        // A file or a symbolic link (the link itself; its target is never touched).
        Replace,
        // A regular file only: a link, or anything else but a file, refuses the file.
        ReplaceFile,
        // Nothing: whatever is there refuses the file, with OutputExists.
        Keep,
    };

    explicit AtomicFile(FileLayer& layer);
    // Discards the temporary file unless it was committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file in the opened folder: an unnamed O_TMPFILE file where the
    // file system supports it, otherwise a hidden, uniquely named file (".qfs-<random>.tmp",
    // created with O_EXCL and O_NOFOLLOW) whose name never ends in digits, so that it is never
    // taken for a piece. Its permission bits are exactly mode & 0777, set with fchmod: the
    // umask narrows nothing, and no special bit (set-user-ID, set-group-ID, sticky) is given.
    // The file gets the group `group` where the user may give it that, and otherwise no more
    // than the owner's bits and those the group and others share (GroupAccess); anyGroup leaves
    // it the group the system gives. While this object holds the file it holds an advisory lock
    // on it, which marks a temporary name that a killed run left behind as a leftover
    // (Leftovers) as soon as nobody holds it.
    // REQUIRES: folderFd is an open directory that stays open until commit() or discard();
    // finalName is a plain name (no slash, not "." or "..").
    // Refuses up front what admits() refuses. Every error carries the final file's path. Any
    // file held from an earlier create() is discarded first.
    Error create(int folderFd, const std::string& folderPath, const std::string& finalName,
                 mode_t mode, gid_t group = GroupAccess::anyGroup, Existing existing = Existing::Replace);
    // Whether what is under `finalName` in the opened folder now lets a new file take that
    // name: nothing, or what `existing` allows. A folder refuses with OutputIsFolder; with
    // ReplaceFile, a symbolic link with SymbolicLink and anything else but a regular file with
    // NotRegularFile; with Keep, anything with OutputExists. `present` tells whether something
    // is there. Errors carry the final file's path. Links are never followed.
    static Error admits(FileLayer& layer, int folderFd, const std::string& folderPath, const std::string& finalName,
                        Existing existing, bool& present);
    // The path the file has once committed.
    std::string finalPath() const;
    // The temporary file's descriptor, opened for writing; -1 when none is held.
    int fd() const { return m_fd; }
    // Flushes the file's data to the disk, closes the file (reporting a failed close), renames
    // it over finalName, atomically, replacing what create()'s `existing` allows: with Keep the
    // rename itself refuses a name that appeared since (where the file system can refuse; on
    // others it is looked at just before), with ReplaceFile the name is looked at again just
    // before. It then flushes the folder, so that the new name too
    // outlasts a power cut: after success the file is whole under its name on the disk, not
    // only for readers. A folder of that name is refused with OutputIsFolder. On failure the
    // temporary file is removed and an existing file of the final name is left as it was;
    // only when the folder's flush fails, after the rename, is the file complete under its
    // name, and the failure reported all the same.
    // REQUIRES: create() succeeded and neither commit() nor discard() has been called since.
    Error commit();
    // Removes the temporary file; safe to call more than once and after a failed commit.
    void discard();

private:
    Error failure(int err) const;
    Error folderInTheWay() const;
    Error rename();
    Error openUnnamed(mode_t mode, bool& unsupported);
    Error openNamed(mode_t mode);
    Error failAndDiscard(int err);
    // Gives the unnamed file a hidden temporary name, so that it can be renamed.
    Error linkUnnamed();

    FileLayer& m_layer;
    int m_folderFd = -1;
    std::string m_folderPath;
    std::string m_finalName;
    Existing m_existing = Existing::Replace;
    // The temporary file's name in the folder; empty while it has none (O_TMPFILE).
    std::string m_tempName;
    int m_fd = -1;
};

} // namespace qfs
