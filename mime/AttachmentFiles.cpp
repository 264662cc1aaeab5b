#include "AttachmentFiles.h"

#include <cerrno>
#include <cstdio>

#include "AttachmentNames.h"
#include "platform/FileSystem.h"
#include "platform/StdioFile.h"
#include "transport/ResultCodes.h"

namespace mime {

namespace {

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

AttachmentFiles::AttachmentFiles(const std::string& messagePath) : folderPath_(attachmentFolderOf(messagePath)) {
    directory_ = platform::openDirectoryOf(messagePath, messageName_);
    folderName_ = attachmentFolderOf(messageName_);
}

AttachmentFiles::AttachmentFiles(InFolder, const std::string& folder)
    : folderPath_(folder), folder_(platform::Directory::open(folder)), folderTried_(true) {}

AttachmentFiles AttachmentFiles::inFolder(const std::string& folder) {
    // Made by the caller: never removed here.
    return AttachmentFiles(InFolder{}, folder);
}

platform::StdioFile AttachmentFiles::openMessage() const {
    if (!directory_ || messageName_.empty()) return nullptr;
    return platform::adoptFile(directory_.openFile(messageName_), "rb");
}

bool AttachmentFiles::prepareFolder() {
    if (!folderTried_) {
        folderTried_ = true;
        // A link in the folder's place leaves it closed: the parts get no file.
        if (directory_ && !folderName_.empty()) folder_ = directory_.makeFolder(folderName_, nullptr, &folderMade_);
    }
    return folder_.isOpen();
}

bool AttachmentFiles::folderHolds(const std::string& name) {
    if (folder_) return folder_.type(name) != platform::EntryType::Missing;
    if (folderTried_ || !directory_ || folderName_.empty()) return false;
    const platform::Directory folder = directory_.openFolder(folderName_);
    return folder && folder.type(name) != platform::EntryType::Missing;
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
        platform::UniqueFd fd = folder_.createFile(name);
        if (fd) {
            ++n;
            created_.push_back(name);
            platform::StdioFile f = platform::adoptFile(std::move(fd), "wb");
            if (!f) return std::nullopt;
            return File{LineWriter(std::move(f)), platform::joinPath(folderPath_, name), std::move(name)};
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
    while (n < kMaxFiles - 1 && folderHolds(numberedCandidate(ext, n))) ++n;
    return platform::joinPath(folderPath_, numberedCandidate(ext, n));
}

void AttachmentFiles::discard(File& file) {
    file.writer.abandon();
    folder_.remove(file.name);
}

void AttachmentFiles::removeCreated() {
    for (const std::string& name : created_) folder_.remove(name);
    created_.clear();
    if (folderMade_) directory_.removeFolder(folderName_);
}

LineWriter& AttachmentFiles::rewrite() {
    if (!rewrite_) {
        rewrite_ = LineWriter::deferred([this] {
            if (!directory_ || messageName_.empty()) return platform::StdioFile();
            // One left by a stopped run goes; a link there is removed, not followed.
            directory_.remove(kWorkFileName);
            platform::StdioFile f = platform::adoptFile(directory_.createFile(kWorkFileName), "wb");
            rewriteCreated_ = static_cast<bool>(f);
            return f;
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
    if (!directory_.rename(kWorkFileName, messageName_)) {
        discardRewrite();
        return ResultCode::RenameFailed;
    }
    rewriteCreated_ = false;
    directory_.sync();
    return ResultCode::Success;
}

void AttachmentFiles::discardRewrite() {
    if (rewrite_) rewrite_->abandon();
    if (rewriteCreated_) directory_.remove(kWorkFileName);
    rewriteCreated_ = false;
}

}  // namespace mime
