#include "Directory.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "text/TextRules.h"

namespace platform {

namespace {

constexpr int kTemporaryTries = 100;

std::atomic<bool> openat2Missing{false};
std::atomic<bool> walkForTesting{false};

EntryType typeOf(mode_t mode) {
    if (S_ISREG(mode)) return EntryType::File;
    if (S_ISDIR(mode)) return EntryType::Folder;
    if (S_ISLNK(mode)) return EntryType::Link;
    return EntryType::Other;
}

// A single name: one that reaches nothing but an entry of this directory.
bool plainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

EntryType typeAt(int dirFd, std::string_view path) {
    struct stat st {};
    if (::fstatat(dirFd, std::string(path).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryType::Missing;
    return typeOf(st.st_mode);
}

int openat2Beneath(int dirFd, const std::string& path, int flags, unsigned mode) {
    open_how how{};
    how.flags = static_cast<uint64_t>(flags);
    how.mode = (flags & O_CREAT) ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, dirFd, path.c_str(), &how, sizeof how));
}

// Name by name, for kernels without openat2: every folder on the way opened
// without following a link, "..", and absolute paths refused.
int walkBeneath(int dirFd, std::string_view path, int flags, unsigned mode) {
    if (!path.empty() && path.front() == '/') {
        errno = EXDEV;
        return -1;
    }
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view part = path.substr(pos, slash - pos);
        if (part == "..") {
            errno = EXDEV;
            return -1;
        }
        if (!part.empty() && part != ".") parts.emplace_back(part);
        pos = slash + 1;
    }
    if (parts.empty()) {
        errno = ENOENT;
        return -1;
    }
    UniqueFd held;
    int at = dirFd;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        UniqueFd next(::openat(at, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) return -1;
        held = std::move(next);
        at = held.get();
    }
    return ::openat(at, parts.back().c_str(), flags, mode);
}

std::string uniquePart() {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        static std::atomic<unsigned> counter{0};
        const unsigned n = counter++ ^ static_cast<unsigned>(::getpid());
        for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(n >> (i * 5));
    }
    std::string s;
    for (const unsigned char b : bytes) s += kChars[b % (sizeof kChars - 1)];
    return s;
}

bool renameNoReplaceAt(int fromDir, const char* from, int toDir, const char* to) {
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a hard link refuses a taken name too.
    if (::linkat(fromDir, from, toDir, to, 0) != 0) return false;
    ::unlinkat(fromDir, from, 0);
    return true;
}

}  // namespace

PendingFile::~PendingFile() {
    const int saved = errno;  // callers report the failure that brought them here
    if (!committed_ && directory_ && !name_.empty()) ::unlinkat(directory_.get(), name_.c_str(), 0);
    errno = saved;
}

PendingFile& PendingFile::operator=(PendingFile&& o) noexcept {
    if (this != &o) {
        if (!committed_ && directory_ && !name_.empty()) ::unlinkat(directory_.get(), name_.c_str(), 0);
        directory_ = std::move(o.directory_);
        file_ = std::move(o.file_);
        name_ = std::move(o.name_);
        committed_ = std::exchange(o.committed_, true);
    }
    return *this;
}

bool PendingFile::commit(std::string_view name, bool replace) {
    if (!directory_ || committed_ || !plainName(name)) {
        errno = EINVAL;
        return false;
    }
    const std::string target(name);
    const bool moved = replace ? ::renameat(directory_.get(), name_.c_str(), directory_.get(), target.c_str()) == 0
                               : renameNoReplaceAt(directory_.get(), name_.c_str(), directory_.get(), target.c_str());
    if (!moved) return false;
    committed_ = true;
    name_ = target;
    ::fsync(directory_.get());
    return true;
}

Directory Directory::open(const std::string& path) {
    Directory d;
    std::string trimmed = path.empty() ? "." : path;
    // A trailing '/' would have a link in the last place followed.
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    d.fd_ = UniqueFd(::open(trimmed.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!d.fd_) return d;
    struct stat st {};
    if (::fstat(d.fd_.get(), &st) == 0) d.shared_ = (st.st_mode & S_ISGID) != 0;
    d.path_ = path.empty() ? "./" : path;
    if (d.path_.back() != '/') d.path_ += '/';
    return d;
}

EntryType Directory::type(std::string_view name) const {
    if (!plainName(name)) return EntryType::Missing;
    return typeAt(fd_.get(), name);
}

bool Directory::identity(std::string_view name, FileIdentity& out) const {
    struct stat st {};
    if (!plainName(name) || ::fstatat(fd_.get(), std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    out = FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    return true;
}

bool Directory::lastWriteTime(std::string_view name, FileTime& out) const {
    FileIdentity id;
    if (!identity(name, id)) return false;
    out = FileTime{id.seconds, id.nanoseconds};
    return true;
}

std::vector<DirectoryEntry> Directory::list(std::string_view pattern) const {
    std::vector<DirectoryEntry> entries;
    // A descriptor of its own: reading moves the position, and the next
    // listing must start from the beginning.
    const int fd = ::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return entries;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return entries;
    }
    while (dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == ".." || !wildcardMatch(pattern, name)) continue;
        DirectoryEntry entry{std::string(name), EntryType::Other};
        switch (e->d_type) {
            case DT_REG: entry.type = EntryType::File; break;
            case DT_DIR: entry.type = EntryType::Folder; break;
            case DT_LNK: entry.type = EntryType::Link; break;
            case DT_UNKNOWN: entry.type = typeAt(fd_.get(), name); break;
            default: break;
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(d);
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return namesInOrder(a.name, b.name); });
    return entries;
}

std::string Directory::findName(std::string_view name) const {
    if (type(name) != EntryType::Missing) return std::string(name);
    for (const DirectoryEntry& e : list("*"))
        if (text::equalsIgnoreCase(e.name, name)) return e.name;
    return std::string(name);
}

UniqueFd Directory::openBeneath(std::string_view path, int flags, unsigned mode, EntryType* found) const {
    flags |= O_NOFOLLOW | O_CLOEXEC;
    const std::string p(path);
    int fd = -1;
    if (!walkForTesting && !openat2Missing) {
        fd = openat2Beneath(fd_.get(), p, flags, mode);
        // ENOSYS: a kernel without it; EPERM: a filter that forbids it.
        if (fd < 0 && errno == ENOSYS) openat2Missing = true;
        if (fd < 0 && (errno == ENOSYS || errno == EPERM)) fd = walkBeneath(fd_.get(), p, flags, mode);
    } else {
        fd = walkBeneath(fd_.get(), p, flags, mode);
    }
    if (fd < 0 && found) {
        const int saved = errno;
        *found = errno == ELOOP ? EntryType::Link : typeAt(fd_.get(), p);
        errno = saved;
    }
    return UniqueFd(fd);
}

namespace {
// Opened without waiting (a FIFO would block), then kept only when it is a
// regular file, and made blocking again.
UniqueFd regularOnly(UniqueFd fd, EntryType* found) {
    if (!fd) return fd;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return UniqueFd();
    if (!S_ISREG(st.st_mode)) {
        if (found) *found = typeOf(st.st_mode);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return UniqueFd();
    }
    const int fl = ::fcntl(fd.get(), F_GETFL);
    if (fl >= 0) ::fcntl(fd.get(), F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}
}  // namespace

UniqueFd Directory::openFile(std::string_view path, EntryType* found) const {
    return regularOnly(openBeneath(path, O_RDONLY | O_NONBLOCK, 0, found), found);
}

UniqueFd Directory::openForAppend(std::string_view path, EntryType* found) const {
    return regularOnly(openBeneath(path, O_WRONLY | O_APPEND | O_NONBLOCK, 0, found), found);
}

bool Directory::readFile(std::string_view path, std::string& out, FileIdentity* identity, EntryType* found) const {
    out.clear();
    UniqueFd fd = openFile(path, found);
    if (!fd) return false;
    if (identity && !fileIdentity(fd.get(), *identity)) return false;
    return readAll(fd.get(), out);
}

UniqueFd Directory::createFile(std::string_view path) const {
    UniqueFd fd = openBeneath(path, O_WRONLY | O_CREAT | O_EXCL, fileMode() & 0777, nullptr);
    // The creation mask must not narrow what a shared directory's group gets.
    if (fd) ::fchmod(fd.get(), fileMode());
    return fd;
}

Directory Directory::openFolder(std::string_view path, EntryType* found) const {
    Directory d;
    d.fd_ = openBeneath(path, O_RDONLY | O_DIRECTORY, 0, found);
    if (!d.fd_) {
        if (found && errno == ENOTDIR) *found = typeAt(fd_.get(), std::string(path));
        return d;
    }
    struct stat st {};
    if (::fstat(d.fd_.get(), &st) == 0) d.shared_ = (st.st_mode & S_ISGID) != 0;
    d.path_ = path_ + std::string(path) + "/";
    return d;
}

Directory Directory::makeFolder(std::string_view name, EntryType* found, bool* created) const {
    if (created) *created = false;
    if (!plainName(name)) {
        errno = EINVAL;
        return Directory();
    }
    const bool made = ::mkdirat(fd_.get(), std::string(name).c_str(), folderMode() & 0777) == 0;
    if (!made && errno != EEXIST) return Directory();
    Directory d = openFolder(name, found);
    if (made && d) ::fchmod(d.descriptor(), folderMode());
    if (created) *created = made;
    return d;
}

bool Directory::remove(std::string_view name) const {
    if (!plainName(name)) {
        errno = EINVAL;
        return false;
    }
    return ::unlinkat(fd_.get(), std::string(name).c_str(), 0) == 0;
}

bool Directory::removeFolder(std::string_view name) const {
    if (!plainName(name)) {
        errno = EINVAL;
        return false;
    }
    return ::unlinkat(fd_.get(), std::string(name).c_str(), AT_REMOVEDIR) == 0;
}

bool Directory::rename(std::string_view from, std::string_view to) const {
    if (!plainName(from) || !plainName(to)) {
        errno = EINVAL;
        return false;
    }
    return ::renameat(fd_.get(), std::string(from).c_str(), fd_.get(), std::string(to).c_str()) == 0;
}

bool Directory::renameNoReplace(std::string_view from, std::string_view to) const {
    if (!plainName(from) || !plainName(to)) {
        errno = EINVAL;
        return false;
    }
    return renameNoReplaceAt(fd_.get(), std::string(from).c_str(), fd_.get(), std::string(to).c_str());
}

bool Directory::link(std::string_view existing, std::string_view newName) const {
    if (!plainName(existing) || !plainName(newName)) {
        errno = EINVAL;
        return false;
    }
    return ::linkat(fd_.get(), std::string(existing).c_str(), fd_.get(), std::string(newName).c_str(), 0) == 0;
}

bool Directory::sync() const { return fd_ && ::fsync(fd_.get()) == 0; }

bool Directory::writeTemporary(std::string_view prefix, std::string_view suffix, std::string_view data,
                               PendingFile& out, std::string_view keepModeOf) const {
    PendingFile pending;
    pending.directory_ = UniqueFd(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
    if (!pending.directory_) return false;
    for (int i = 0; i < kTemporaryTries && !pending.file_; ++i) {
        pending.name_ = std::string(prefix) + uniquePart() + std::string(suffix);
        if (!plainName(pending.name_)) {
            errno = EINVAL;
            return false;
        }
        pending.file_ = UniqueFd(::openat(fd_.get(), pending.name_.c_str(),
                                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode() & 0777));
        if (!pending.file_ && errno != EEXIST) return false;
    }
    if (!pending.file_) return false;
    struct stat st {};
    if (!keepModeOf.empty() && plainName(keepModeOf) &&
        ::fstatat(fd_.get(), std::string(keepModeOf).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
        // Only the owner can give a file away: otherwise it stays ours.
        (void)!::fchown(pending.file_.get(), st.st_uid, st.st_gid);
        ::fchmod(pending.file_.get(), st.st_mode & 0777);
    } else {
        ::fchmod(pending.file_.get(), fileMode());
    }
    if (!writeAll(pending.file_.get(), data) || ::fsync(pending.file_.get()) != 0) {
        const int saved = errno;
        pending = PendingFile();
        errno = saved;
        return false;
    }
    out = std::move(pending);
    return true;
}

bool Directory::writeFile(std::string_view name, std::string_view data) const {
    if (!plainName(name)) {
        errno = EINVAL;
        return false;
    }
    const size_t dot = name.rfind('.');
    PendingFile pending;
    if (!writeTemporary(std::string(name.substr(0, dot)) + "-", ".TMP", data, pending)) return false;
    return pending.commit(name);
}

Directory openDirectoryOf(const std::string& path, std::string& name) {
    const size_t slash = path.rfind('/');
    name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    return Directory::open(slash == std::string::npos ? "." : path.substr(0, slash + 1));
}

UniqueFd openRegularFile(const std::string& path, EntryType* found) {
    std::string name;
    const Directory dir = openDirectoryOf(path, name);
    return dir ? dir.openFile(name, found) : UniqueFd();
}

bool readRegularFile(const std::string& path, std::string& out, FileIdentity* identity) {
    out.clear();
    std::string name;
    const Directory dir = openDirectoryOf(path, name);
    return dir && dir.readFile(name, out, identity);
}

std::string pathToOpenFile(const UniqueFd& file, const std::string& fallback) {
    const std::string path = "/proc/self/fd/" + std::to_string(file.get());
    struct stat byPath {};
    struct stat byFd {};
    if (!file || ::stat(path.c_str(), &byPath) != 0 || ::fstat(file.get(), &byFd) != 0) return fallback;
    if (byPath.st_dev == byFd.st_dev && byPath.st_ino == byFd.st_ino) return path;
    return fallback;
}

void walkPathsForTesting(bool walk) { walkForTesting = walk; }

}  // namespace platform
