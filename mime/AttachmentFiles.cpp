#include "AttachmentFiles.h"

#include <cerrno>
#include <cstdio>

#include "AttachmentNames.h"
#include "platform/FileSystem.h"
#include "platform/StdioFile.h"
#include "transport/ResultCodes.h"

namespace mime {

namespace {

// The one way a file is made here: new, never over an existing one.
platform::StdioFile createNew(const std::string& path) { return platform::openFile(path, "wbx"); }

// Try n of a name: the name itself, then "stem (2).ext", "stem (3).ext"...
std::string sameNameCandidate(std::string_view name, int n) {
    if (n == 0) return std::string(name);
    const std::size_t dot = name.rfind('.');
    const bool hasExt = dot != std::string_view::npos && dot != 0;
    const std::string_view stem = hasExt ? name.substr(0, dot) : name;
    const std::string_view ext = hasExt ? name.substr(dot) : std::string_view();
    return std::string(stem) + " (" + std::to_string(n + 1) + ")" + std::string(ext);
}

std::string numberedCandidate(std::string_view ext, int n) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02d", n);
    return std::string("Attach") + digits + std::string(ext);
}

}  // namespace

AttachmentFiles::AttachmentFiles(std::string folder, std::string messagePath)
    : folder_(std::move(folder)), messagePath_(std::move(messagePath)) {
    if (!messagePath_.empty()) rewritePath_ = rewriteFileOf(messagePath_);
}

AttachmentFiles::AttachmentFiles(const std::string& messagePath)
    : AttachmentFiles(attachmentFolderOf(messagePath), messagePath) {}

AttachmentFiles AttachmentFiles::inFolder(const std::string& folder) {
    AttachmentFiles files(folder, std::string());
    // Made by the caller: never removed here.
    files.folderTried_ = true;
    return files;
}

bool AttachmentFiles::prepareFolder() {
    if (folder_.empty()) return false;
    if (!folderTried_) {
        folderTried_ = true;
        folderMade_ = platform::createDirectory(folder_);
    }
    return true;
}

std::optional<AttachmentFiles::File> AttachmentFiles::createFirstFree(std::map<std::string, int, std::less<>>& counters,
                                                                      std::string_view key,
                                                                      std::string (*candidate)(std::string_view key,
                                                                                               int n)) {
    if (full_ || !prepareFolder()) return std::nullopt;
    auto it = counters.find(key);
    if (it == counters.end()) it = counters.emplace(std::string(key), 0).first;
    for (int& n = it->second; n < kMaxFiles; ++n) {
        std::string name = candidate(key, n);
        std::string path = platform::joinPath(folder_, name);
        platform::StdioFile f = createNew(path);
        if (f) {
            ++n;
            created_.push_back(path);
            return File{LineWriter(std::move(f)), std::move(path), std::move(name)};
        }
        if (errno != EEXIST) return std::nullopt;
    }
    full_ = true;
    return std::nullopt;
}

std::optional<AttachmentFiles::File> AttachmentFiles::createNamed(const std::string& name) {
    return createFirstFree(nextOfName_, name, sameNameCandidate);
}

std::optional<AttachmentFiles::File> AttachmentFiles::createNumbered(std::string_view ext) {
    return createFirstFree(nextOfExtension_, ext, numberedCandidate);
}

std::string AttachmentFiles::nextNumberedPath(std::string_view ext) {
    auto it = nextOfExtension_.find(ext);
    if (it == nextOfExtension_.end()) it = nextOfExtension_.emplace(std::string(ext), 0).first;
    // Names taken already stay taken: passing them now saves looking again.
    int& n = it->second;
    while (n < kMaxFiles - 1 && platform::pathExists(platform::joinPath(folder_, numberedCandidate(ext, n)))) ++n;
    return platform::joinPath(folder_, numberedCandidate(ext, n));
}

void AttachmentFiles::discard(File& file) {
    file.writer.abandon();
    platform::removeFile(file.path);
}

void AttachmentFiles::removeCreated() {
    for (const std::string& path : created_) platform::removeFile(path);
    created_.clear();
    if (folderMade_) platform::removeEmptyDirectory(folder_);
}

LineWriter& AttachmentFiles::rewrite() {
    if (!rewrite_) {
        rewrite_ = LineWriter::deferred([path = rewritePath_] {
            if (path.empty()) return platform::StdioFile();
            // One left by a stopped run goes; a link there is removed, not followed.
            platform::removeFile(path);
            return createNew(path);
        });
    }
    return *rewrite_;
}

int32_t AttachmentFiles::replaceMessage() {
    LineWriter& w = rewrite();
    if (!w.open()) {
        const int32_t result = w.createFailed() ? ResultCode::FileNotCreated : ResultCode::WriteError;
        discardRewrite();
        return result;
    }
    // A rewrite that lost lines must never replace the message.
    if (!w.sync() || !w.close()) {
        discardRewrite();
        return ResultCode::WriteError;
    }
    // One atomic step: the message is never missing, whenever the process stops.
    if (!platform::renameFile(rewritePath_, messagePath_) || !platform::fileExists(messagePath_)) {
        platform::removeFile(rewritePath_);
        return ResultCode::RenameFailed;
    }
    return ResultCode::Success;
}

void AttachmentFiles::discardRewrite() {
    if (rewrite_) rewrite_->abandon();
    if (!rewritePath_.empty()) platform::removeFile(rewritePath_);
}

}  // namespace mime
