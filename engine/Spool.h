// A list's spool: the states a message passes through in its list
// directory, the names that mark them, and every move between them. The rest
// of the engine names no spool file and moves none itself.
//
//   state          name            what it is
//   Download       Download.TMP    a message arriving from the server
//   Fetched        x.NEW           stored whole, waiting to be processed
//   Distributing   x.NEW + x.SENT  a post on its way; the record holds when it
//                                  started and the members already served
//   Archived       x.MSG           a distributed submission, kept Keep days
//   SetAside       x.BAD           kept 30 days for a person to look at
//   Work           x.TMP           a rewrite of x.NEW under way
//
// x is the message's key, its server id made a file name (SpoolFileName.h).
// Beside them lie the folder x, the attachments decoded from x.NEW (kept
// with x.MSG and x.BAD), and Fetched.IDS, the keys stored but perhaps not
// yet deleted on the server. Every ".TMP" name is swept at each pass.
//
// Moves: server -> Download -> Fetched; Fetched -> Work -> Fetched (a
// rewrite); Fetched -> Distributing -> Fetched (a post cut short goes on
// later); Fetched -> Archived, SetAside or deleted. A move that fails is
// printed and the file stays where it was: nothing is lost on the way.
//
// The list directory is written by others too (its group's
// administrators): a link or special file where a spool entry should be is
// never followed or opened, only reported ("left alone").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Directory.h"
#include "platform/StdioFile.h"

enum class SpoolState { Download, Fetched, Distributing, Archived, SetAside, Work };

inline constexpr char kDownloadFile[] = "Download.TMP";
inline constexpr char kFetchedIdsFile[] = "Fetched.IDS";

// The extension that marks a state: "NEW", "SENT", "MSG", "BAD", "TMP".
std::string_view SpoolExtension(SpoolState state);

// The same message's file in another state: the extension of the spool
// file's name replaced.
std::string SpoolPath(const std::string& spoolPath, SpoolState state);

// The attachment folder of a spool file: its path without the dot and the
// three-letter extension.
std::string AttachmentFolder(const std::string& spoolPath);

// The list directory a spool path lies in, and the file's name in it.
platform::Directory SpoolDirectory(const std::string& spoolPath);
std::string SpoolName(const std::string& spoolPath);

struct SpoolFile {
    std::string path;
    std::string name;
    platform::FileTime written;
};

// The regular files matching `pattern` ("*.NEW"), in name order. Anything
// else under such a name is reported and left alone.
std::vector<SpoolFile> ListSpoolFiles(const platform::Directory& directory, std::string_view pattern);

// "    Not a regular file, left alone: ..." (or "Not a folder").
void ReportLeftAlone(const std::string& path, bool folderExpected = false);

// Renames a spool file to the same message in another state, replacing an
// older file of that name. False, and said, when it cannot: the file stays.
bool MoveSpoolFile(const std::string& spoolPath, SpoolState to);
bool RemoveSpoolFile(const std::string& spoolPath);

// A spool file for reading; null, and reported, when a link or special file
// holds the name.
platform::StdioFile OpenSpoolFile(const std::string& spoolPath);
// A work file created anew for writing, whatever was left under its name.
platform::StdioFile CreateWorkFile(const std::string& workPath);

// A record kept in the spool (Fetched.IDS, x.SENT). False when there is
// none; a link or special file in its place is reported and counts as none.
bool ReadSpoolRecord(const platform::Directory& directory, const std::string& name, std::string& text);
// Replaces the record whole and durably. False, and said, when it cannot.
bool WriteSpoolRecord(const platform::Directory& directory, const std::string& name, std::string_view text);

// A message on its way from the server, written through a file the engine
// created itself, whatever is done to its name meanwhile.
class SpoolDownload {
public:
    explicit SpoolDownload(const platform::Directory& directory) : directory_(directory) {}
    ~SpoolDownload() { Discard(); }
    SpoolDownload(const SpoolDownload&) = delete;
    SpoolDownload& operator=(const SpoolDownload&) = delete;

    // Clears the name of what was left there (never following it) and
    // creates the file anew. False when it cannot be created.
    bool Begin();
    // The path to hand the POP3 library.
    const std::string& LibraryPath() const { return libraryPath_; }
    // Flushes what arrived to disk and makes it the message's spool file,
    // never replacing one of that name (EEXIST). The rename is made durable
    // by the next flush of the directory.
    bool Publish(const std::string& key, std::string& spoolPath);
    // Removes what arrived.
    void Discard();

private:
    const platform::Directory& directory_;
    platform::UniqueFd file_;
    std::string libraryPath_;
};

// Whether the POP3 library's decoder can put x.NEW's attachments in their
// folder: false, and reported, when something other than a folder holds its
// name. The decoder never follows such an entry, but would drop every
// attachment of the post unseen.
bool AttachmentFolderUsable(const std::string& spoolPath);
// Removes the attachment folder again when nothing was decoded into it (the
// decoder leaves it empty when every part failed).
void DropEmptyAttachmentFolder(const std::string& spoolPath);
