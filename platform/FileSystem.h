// Files and directories: wildcard search, name lookup that ignores letter
// case, atomic replacement, and file times.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct DirEntry {
    std::string name;
    bool isDirectory = false;
};

// Case-insensitive wildcard match ('*' any run, '?' one byte). "*.*" matches
// every name, also one without a dot.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// Every entry of `dir` matching `pattern`, "." and ".." excluded, sorted by
// name ignoring case. The listing is complete before the caller acts on it.
std::vector<DirEntry> findFiles(const std::string& dir, std::string_view pattern);
// The order of that listing: letter case ignored, names differing only in
// case kept in a stable order among themselves.
bool namesInOrder(const std::string& a, const std::string& b);

// The path of `name` inside `dir`: the exact name when it exists, otherwise an
// existing entry whose name differs only in letter case, otherwise the exact
// name (so a writer creates it as named).
std::string resolveName(const std::string& dir, std::string_view name);

bool fileExists(const std::string& path);       // a regular file (or link to one)
bool directoryExists(const std::string& path);
bool pathExists(const std::string& path);

bool createDirectory(const std::string& path);
// Renames a file or directory in one step, refusing (EEXIST) when `to` exists.
bool renameNoReplace(const std::string& from, const std::string& to);

// Writes `data` to a new temporary file beside `path`, flushes it to disk and
// renames it into place. False (and `path` untouched) on any failure. An
// existing `path` keeps its mode and (as far as the caller may give it) its
// owner; a new one gets `newMode`.
bool writeFileAtomically(const std::string& path, std::string_view data, unsigned newMode = 0644);


// Makes renames and creations in `dir` durable.
void syncDirectory(const std::string& dir);

// Which file a path named, and in what state: equal identities mean the
// file was neither replaced nor changed in between.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};
bool fileIdentity(const std::string& path, FileIdentity& out);
bool fileIdentity(int fd, FileIdentity& out);

// Reads a whole file; false when it cannot be opened or read. `identity`, when
// given, describes the file as it was read.
bool readFile(const std::string& path, std::string& out, FileIdentity* identity = nullptr);

// Everything to or from a descriptor, retrying short and interrupted calls.
bool writeAll(int fd, std::string_view data);
bool readAll(int fd, std::string& out);

// File times as seconds and nanoseconds since the Unix epoch (absolute time,
// so ages never shift with daylight saving).
struct FileTime {
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
};
bool lastWriteTime(const std::string& path, FileTime& out);
bool setLastWriteTime(const std::string& path, const FileTime& t);
FileTime currentTime();

// Joins a directory (with or without trailing '/') and a name.
std::string joinPath(const std::string& dir, std::string_view name);

// Windows-style error code of the last failed call, for messages and events.
uint32_t lastErrorCode();

}  // namespace platform
