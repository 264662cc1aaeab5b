// Working inside a directory that other accounts may write (a list
// directory shared with its administrators): every name is taken relative to
// the directory's descriptor, a symbolic link in it is never followed, a
// special file (a FIFO, a device, a socket) never opened, and what is created
// gets the directory's modes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "FileSystem.h"
#include "UniqueFd.h"

namespace platform {

enum class EntryType { Missing, File, Folder, Link, Other };

struct DirectoryEntry {
    std::string name;
    EntryType type = EntryType::Missing;
};

// A file written whole under a temporary name beside its final one and
// flushed to disk. commit() puts it in place in one step; a file never
// committed is removed when the object goes.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(PendingFile&&) noexcept = default;
    PendingFile& operator=(PendingFile&&) noexcept;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Renames it to `name` (replacing what is there, or refusing with EEXIST
    // when `replace` is false) and makes the rename durable.
    bool commit(std::string_view name, bool replace = true);
    // The open file: the same file under its final name once committed.
    const UniqueFd& file() const { return file_; }
    UniqueFd takeFile() { return std::move(file_); }

private:
    friend class Directory;
    UniqueFd directory_;
    UniqueFd file_;
    std::string name_;
    bool committed_ = false;
};

// Names given to the functions below are single names inside the directory;
// "paths" may reach into folders beneath it, never out of it (no "..", no
// absolute path, no link on the way). Failures set errno: ELOOP for a link,
// EINVAL for a special file, EISDIR/ENOTDIR for the other kind of entry,
// EXDEV for a path leaving the directory.
class Directory {
public:
    Directory() = default;
    // The path itself is trusted (the home directory, a list in it): a link
    // there is followed. Only what lies inside is not.
    static Directory open(const std::string& path);

    bool isOpen() const { return static_cast<bool>(fd_); }
    explicit operator bool() const { return isOpen(); }
    int descriptor() const { return fd_.get(); }
    // The path it was opened by, ending in '/', for messages and for
    // libraries that take paths.
    const std::string& path() const { return path_; }
    std::string pathOf(std::string_view name) const { return path_ + std::string(name); }

    // Set-group-ID: the directory is shared with its group, and so is what
    // is created in it (files 0660, folders 02770, the directory's group);
    // otherwise it is owner-only (files 0600, folders 0700).
    bool shared() const { return shared_; }
    unsigned fileMode() const { return shared_ ? 0660u : 0600u; }
    unsigned folderMode() const { return shared_ ? 02770u : 0700u; }

    // What a name holds, the name itself looked at (a link stays a link).
    EntryType type(std::string_view name) const;
    bool identity(std::string_view name, FileIdentity& out) const;
    bool lastWriteTime(std::string_view name, FileTime& out) const;
    // The entries matching `pattern` (wildcards, case ignored), sorted as
    // findFiles sorts them.
    std::vector<DirectoryEntry> list(std::string_view pattern = "*") const;
    // The exact name when something holds it, else an entry differing only
    // in letter case, else the exact name.
    std::string findName(std::string_view name) const;

    // A regular file for reading, or for appending to. `found`, when given,
    // tells what was there on failure.
    UniqueFd openFile(std::string_view path, EntryType* found = nullptr) const;
    UniqueFd openForAppend(std::string_view path, EntryType* found = nullptr) const;
    bool readFile(std::string_view path, std::string& out, FileIdentity* identity = nullptr,
                  EntryType* found = nullptr) const;
    // A new file (EEXIST when the name is taken, by anything), for writing.
    UniqueFd createFile(std::string_view path) const;

    Directory openFolder(std::string_view path, EntryType* found = nullptr) const;
    // Creates the folder when the name is free; opens it when a folder holds
    // it already. Closed (with `found`) when something else holds the name.
    // `created`, when given, tells whether it was made here.
    Directory makeFolder(std::string_view name, EntryType* found = nullptr, bool* created = nullptr) const;

    // Removes the entry itself: a link goes, never what it points to.
    bool remove(std::string_view name) const;
    bool removeFolder(std::string_view name) const;  // an empty one
    bool rename(std::string_view from, std::string_view to) const;
    bool renameNoReplace(std::string_view from, std::string_view to) const;
    // A second name for a file (a link is linked as a link).
    bool link(std::string_view existing, std::string_view newName) const;
    bool sync() const;

    // Writes `data` to a new file named prefix + unique part + suffix and
    // flushes it to disk. It gets the directory's file mode, or the mode and
    // owner of `keepModeOf` when a regular file holds that name.
    bool writeTemporary(std::string_view prefix, std::string_view suffix, std::string_view data, PendingFile& out,
                        std::string_view keepModeOf = {}) const;
    // Replaces (or creates) `name` by `data` durably: temporary file, flush,
    // rename, directory flush. A leftover from a crash ends in ".TMP". A
    // link at `name` is replaced, never written through.
    bool writeFile(std::string_view name, std::string_view data) const;

private:
    UniqueFd openBeneath(std::string_view path, int flags, unsigned mode, EntryType* found) const;
    UniqueFd fd_;
    std::string path_;
    bool shared_ = false;
};

// For a path into a place others may write: the directory it lies in, opened
// as Directory::open does (trusted), and in `name` its last part.
Directory openDirectoryOf(const std::string& path, std::string& name);
// openFile and readFile by path: a link in the last place is not followed
// and only a regular file is opened.
UniqueFd openRegularFile(const std::string& path, EntryType* found = nullptr);
bool readRegularFile(const std::string& path, std::string& out, FileIdentity* identity = nullptr);

// A path by which a library that takes only paths reaches exactly this open
// file, whatever is done to its name meanwhile; `fallback` where the system
// offers no such path.
std::string pathToOpenFile(const UniqueFd& file, const std::string& fallback);

// Only for tests: resolve paths by walking them name by name, as on kernels
// without openat2.
void walkPathsForTesting(bool walk);

}  // namespace platform
