#include "FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "UniqueFd.h"
#include "text/TextRules.h"

namespace platform {

bool namesInOrder(const std::string& a, const std::string& b) {
    const int c = text::compareIgnoreCase(a, b);
    return c != 0 ? c < 0 : a < b;
}

namespace {
// Iterative matcher with single-star backtracking; linear in practice.
bool matchFrom(std::string_view p, std::string_view s) {
    size_t pi = 0, si = 0, starP = std::string_view::npos, starS = 0;
    while (si < s.size()) {
        if (pi < p.size() && (p[pi] == '?' || text::upperAscii(p[pi]) == text::upperAscii(s[si]))) {
            ++pi;
            ++si;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starS = si;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            si = ++starS;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}
}  // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    return matchFrom(pattern, name);
}

std::vector<DirEntry> findFiles(const std::string& dir, std::string_view pattern) {
    std::vector<DirEntry> entries;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return entries;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!wildcardMatch(pattern, name)) continue;
        DirEntry entry;
        entry.name = name;
        entry.isDirectory = directoryExists(joinPath(dir, name));
        entries.push_back(std::move(entry));
    }
    ::closedir(d);
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return namesInOrder(a.name, b.name); });
    return entries;
}

std::string resolveName(const std::string& dir, std::string_view name) {
    const std::string exact = joinPath(dir, name);
    if (pathExists(exact)) return exact;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d) {
        std::string found;
        while (dirent* e = ::readdir(d)) {
            std::string_view candidate = e->d_name;
            // Several variants: take the first in name order, so the choice is stable.
            if (text::equalsIgnoreCase(candidate, name) && (found.empty() || candidate < found))
                found = std::string(candidate);
        }
        ::closedir(d);
        if (!found.empty()) return joinPath(dir, found);
    }
    return exact;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool createDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool renameNoReplace(const std::string& from, const std::string& to) {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

bool writeAll(int fd, std::string_view data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool readAll(int fd, std::string& out) {
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

namespace {
std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void identityFrom(const struct stat& st, FileIdentity& out) {
    out.device = st.st_dev;
    out.inode = st.st_ino;
    out.size = st.st_size;
    out.seconds = st.st_mtim.tv_sec;
    out.nanoseconds = st.st_mtim.tv_nsec;
}

// The replacement must not widen who may read a file (passwords, addresses),
// nor hand it from its owner to whoever rewrote it.
void takeModeAndOwner(int fd, const std::string& replacing, unsigned newMode) {
    struct stat st {};
    if (!replacing.empty() && ::stat(replacing.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // Only the owner can give a file away: otherwise it stays ours.
        (void)!::fchown(fd, st.st_uid, st.st_gid);
        ::fchmod(fd, st.st_mode & 0777);
        return;
    }
    ::fchmod(fd, newMode & 0777);
}

bool writeTempFileWithMode(const std::string& dir, std::string_view prefix, std::string_view suffix,
                           std::string_view data, std::string& tempPath, const std::string& replacing,
                           unsigned newMode) {
    std::string tmpl = joinPath(dir, std::string(prefix) + "XXXXXX" + std::string(suffix));
    UniqueFd fd(::mkstemps(tmpl.data(), static_cast<int>(suffix.size())));
    if (!fd) return false;
    takeModeAndOwner(fd.get(), replacing, newMode);
    bool ok = writeAll(fd.get(), data) && ::fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    if (!ok) {
        const int saved = errno;
        ::unlink(tmpl.c_str());
        errno = saved;
        return false;
    }
    tempPath = tmpl;
    return true;
}
}  // namespace

void syncDirectory(const std::string& dir) {
    UniqueFd dirFd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd) ::fsync(dirFd.get());
}

bool writeFileAtomically(const std::string& path, std::string_view data, unsigned newMode) {
    const std::string dir = directoryOf(path);
    const std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    std::string temp;
    if (!writeTempFileWithMode(dir, "." + base + ".", "", data, temp, path, newMode)) return false;
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return false;
    }
    syncDirectory(dir);
    return true;
}

bool fileIdentity(const std::string& path, FileIdentity& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    identityFrom(st, out);
    return true;
}

bool fileIdentity(int fd, FileIdentity& out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    identityFrom(st, out);
    return true;
}

bool readFile(const std::string& path, std::string& out, FileIdentity* identity) {
    out.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    if (identity && !fileIdentity(fd.get(), *identity)) return false;
    return readAll(fd.get(), out);
}

bool lastWriteTime(const std::string& path, FileTime& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    out.seconds = st.st_mtim.tv_sec;
    out.nanoseconds = st.st_mtim.tv_nsec;
    return true;
}

bool setLastWriteTime(const std::string& path, const FileTime& t) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(t.seconds);
    times[1].tv_nsec = static_cast<long>(t.nanoseconds);
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

FileTime currentTime() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return FileTime{ts.tv_sec, ts.tv_nsec};
}

std::string joinPath(const std::string& dir, std::string_view name) {
    if (dir.empty()) return std::string(name);
    if (dir.back() == '/') return dir + std::string(name);
    return dir + "/" + std::string(name);
}

uint32_t lastErrorCode() { return static_cast<uint32_t>(errno); }

}  // namespace platform
