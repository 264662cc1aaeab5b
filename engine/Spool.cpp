#include "Spool.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "platform/ErrorText.h"

namespace {

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string errorText() { return platform::systemErrorText(static_cast<uint32_t>(errno)); }

bool oddEntry(platform::EntryType found) {
    return found == platform::EntryType::Link || found == platform::EntryType::Other;
}

}  // namespace

std::string_view SpoolExtension(SpoolState state) {
    switch (state) {
        case SpoolState::Fetched: return "NEW";
        case SpoolState::Distributing: return "SENT";
        case SpoolState::Archived: return "MSG";
        case SpoolState::SetAside: return "BAD";
        case SpoolState::Download:
        case SpoolState::Work: return "TMP";
    }
    return "TMP";
}

std::string SpoolPath(const std::string& spoolPath, SpoolState state) {
    const size_t slash = spoolPath.rfind('/');
    const size_t dot = spoolPath.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? spoolPath.substr(0, dot + 1) : spoolPath + ".") + std::string(SpoolExtension(state));
}

std::string AttachmentFolder(const std::string& spoolPath) {
    if (spoolPath.size() < 4) return {};
    return spoolPath.substr(0, spoolPath.size() - 4);
}

platform::Directory SpoolDirectory(const std::string& spoolPath) {
    return platform::Directory::open(directoryOf(spoolPath));
}

std::string SpoolName(const std::string& spoolPath) {
    const size_t slash = spoolPath.rfind('/');
    return slash == std::string::npos ? spoolPath : spoolPath.substr(slash + 1);
}

void ReportLeftAlone(const std::string& path, bool folderExpected) {
    std::printf(folderExpected ? "    Not a folder, left alone: %s\n" : "    Not a regular file, left alone: %s\n",
                path.c_str());
    std::fflush(stdout);
}

std::vector<SpoolFile> ListSpoolFiles(const platform::Directory& directory, std::string_view pattern) {
    std::vector<SpoolFile> files;
    for (const auto& entry : directory.list(pattern)) {
        if (entry.type != platform::EntryType::File) {
            ReportLeftAlone(directory.pathOf(entry.name));
            continue;
        }
        SpoolFile f{directory.pathOf(entry.name), entry.name, {}};
        if (!directory.lastWriteTime(entry.name, f.written)) continue;  // gone meanwhile
        files.push_back(std::move(f));
    }
    return files;
}

bool MoveSpoolFile(const std::string& spoolPath, SpoolState to) {
    const std::string target = SpoolPath(spoolPath, to);
    const platform::Directory dir = SpoolDirectory(spoolPath);
    if (dir && dir.rename(SpoolName(spoolPath), SpoolName(target))) return true;
    std::printf("    Unable to rename %s to %s: %s\n", spoolPath.c_str(), SpoolName(target).c_str(), errorText().c_str());
    std::fflush(stdout);
    return false;
}

bool RemoveSpoolFile(const std::string& spoolPath) {
    const platform::Directory dir = SpoolDirectory(spoolPath);
    if (dir && (dir.remove(SpoolName(spoolPath)) || errno == ENOENT)) return true;
    std::printf("    Unable to remove %s: %s\n", spoolPath.c_str(), errorText().c_str());
    std::fflush(stdout);
    return false;
}

platform::StdioFile OpenSpoolFile(const std::string& spoolPath) {
    const platform::Directory dir = SpoolDirectory(spoolPath);
    platform::EntryType found = platform::EntryType::Missing;
    platform::UniqueFd fd = dir ? dir.openFile(SpoolName(spoolPath), &found) : platform::UniqueFd();
    if (!fd && oddEntry(found)) ReportLeftAlone(spoolPath);
    return platform::adoptFile(std::move(fd), "rb");
}

platform::StdioFile CreateWorkFile(const std::string& workPath) {
    const platform::Directory dir = SpoolDirectory(workPath);
    if (!dir) return nullptr;
    // A work file's name is the engine's own: a leftover or a planted entry
    // is cleared, never written through.
    if (dir.type(SpoolName(workPath)) != platform::EntryType::Folder) dir.remove(SpoolName(workPath));
    return platform::adoptFile(dir.createFile(SpoolName(workPath)), "wb");
}

bool ReadSpoolRecord(const platform::Directory& directory, const std::string& name, std::string& text) {
    platform::EntryType found = platform::EntryType::Missing;
    if (directory.readFile(name, text, nullptr, &found)) return true;
    if (oddEntry(found)) ReportLeftAlone(directory.pathOf(name));
    text.clear();
    return false;
}

bool WriteSpoolRecord(const platform::Directory& directory, const std::string& name, std::string_view text) {
    if (directory.writeFile(name, text)) return true;
    std::printf("    Unable to write %s: %s\n", directory.pathOf(name).c_str(), errorText().c_str());
    std::fflush(stdout);
    return false;
}

bool SpoolDownload::Begin() {
    Discard();
    if (directory_.type(kDownloadFile) != platform::EntryType::Folder) directory_.remove(kDownloadFile);
    file_ = directory_.createFile(kDownloadFile);
    if (!file_) return false;
    libraryPath_ = platform::pathToOpenFile(file_, directory_.pathOf(kDownloadFile));
    return true;
}

bool SpoolDownload::Publish(const std::string& key, std::string& spoolPath) {
    const std::string name = key + "." + std::string(SpoolExtension(SpoolState::Fetched));
    if (!file_ || ::fsync(file_.get()) != 0) return false;
    if (!directory_.renameNoReplace(kDownloadFile, name)) return false;
    file_.close();
    spoolPath = directory_.pathOf(name);
    return true;
}

void SpoolDownload::Discard() {
    if (!file_) return;
    file_.close();
    directory_.remove(kDownloadFile);
}

bool AttachmentFolderUsable(const std::string& spoolPath) {
    const platform::Directory dir = SpoolDirectory(spoolPath);
    if (!dir) return false;
    const std::string folder = AttachmentFolder(spoolPath);
    const platform::EntryType found = dir.type(SpoolName(folder));
    if (found == platform::EntryType::Missing || found == platform::EntryType::Folder) return true;
    ReportLeftAlone(folder, true);
    return false;
}

void DropEmptyAttachmentFolder(const std::string& spoolPath) {
    const platform::Directory dir = SpoolDirectory(spoolPath);
    if (dir) dir.removeFolder(SpoolName(AttachmentFolder(spoolPath)));  // refused while it holds anything
}
