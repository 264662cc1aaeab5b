#include "DistributionProgress.h"

#include <cstdio>

#include "Spool.h"
#include "platform/ErrorText.h"
#include "text/TextRules.h"

namespace {

// The start a record's first line gives, or -1 when that line is no whole
// time: an empty record, or one cut by a full disk or a kill inside its
// first write, must not read as a post started in 1970 and be given up at
// the first failure.
int64_t startOf(std::string_view text, size_t& next) {
    const size_t end = text.find('\n');
    next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) return -1;
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    int64_t value = 0;
    return text::readWholeNumber(line, value) && value > 0 ? value : -1;
}

}  // namespace

DistributionProgress::DistributionProgress(const std::string& spoolPath)
    : directory_(SpoolDirectory(spoolPath)), recordName_(SpoolName(RecordPath(spoolPath))) {
    std::string text;
    if (!directory_ || !ReadSpoolRecord(directory_, recordName_, text)) return;
    exists_ = true;
    size_t pos = 0;
    startedAt_ = startOf(text, pos);
    if (startedAt_ < 0) {
        damaged_ = true;
        startedAt_ = platform::currentTime().seconds;
    }
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos = end + 1;
        if (!line.empty()) done_.insert(line);
    }
}

DistributionProgress::~DistributionProgress() {
    if (exists_ && behind_) writeWhole();
}

std::string DistributionProgress::RecordPath(const std::string& spoolPath) {
    return SpoolPath(spoolPath, SpoolState::Distributing);
}

// The whole record by the durable writer. A fresh one never replaces what
// holds its name (a link there is left alone); a damaged one is replaced.
bool DistributionProgress::writeWhole() {
    std::string text = std::to_string(startedAt_) + std::string(text::kLineEnd);
    for (const auto& key : done_) text += key + std::string(text::kLineEnd);
    platform::PendingFile pending;
    if (!directory_.writeTemporary(recordName_ + "-", ".TMP", text, pending) || !pending.commit(recordName_, exists_)) {
        std::printf("    Unable to write %s: %s\n", directory_.pathOf(recordName_).c_str(),
                    platform::systemErrorText(platform::lastErrorCode()).c_str());
        std::fflush(stdout);
        return false;
    }
    record_ = pending.takeFile();
    exists_ = true;
    damaged_ = behind_ = false;
    return true;
}

bool DistributionProgress::Begin() {
    if (!directory_) return false;
    if (exists_ && !damaged_) {
        record_ = directory_.openForAppend(recordName_);
        behind_ = !record_;
        return true;
    }
    if (!exists_) startedAt_ = platform::currentTime().seconds;
    return writeWhole();
}

bool DistributionProgress::Done(const std::string& address) const {
    return done_.count(text::toUpper(address)) != 0;
}

void DistributionProgress::MarkDone(const std::string& address) {
    const std::string key = text::toUpper(address);
    done_.insert(key);
    if (!exists_) return;
    // An address never holds a line break (the member file is read by
    // lines), so one line each is enough. Not flushed to disk each time: a
    // crash of the engine keeps what was written, only one of the machine
    // can cost the last marks.
    if (!record_ || !platform::writeAll(record_.get(), key + std::string(text::kLineEnd))) behind_ = true;
}

int64_t DistributionProgress::AgeSeconds() const { return platform::currentTime().seconds - startedAt_; }

void DistributionProgress::Finish() {
    record_.close();
    if (exists_ && directory_) directory_.remove(recordName_);
    exists_ = behind_ = false;
}

bool HasUnfinishedDistribution(const MailList& list) {
    const platform::Directory dir = platform::Directory::open(list.directory);
    if (!dir) return false;
    bool any = false;
    const std::string pattern = "*." + std::string(SpoolExtension(SpoolState::Distributing));
    for (const SpoolFile& record : ListSpoolFiles(dir, pattern)) {
        if (dir.type(SpoolName(SpoolPath(record.path, SpoolState::Fetched))) == platform::EntryType::File)
            any = true;
        else
            dir.remove(record.name);
    }
    return any;
}
