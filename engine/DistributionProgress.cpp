#include "DistributionProgress.h"

#include <cstdlib>
#include <fstream>

#include "platform/FileSystem.h"
#include "text/TextRules.h"

namespace {
constexpr char kRecordExtension[] = "SENT";
}

DistributionProgress::DistributionProgress(std::string spoolPath) : recordPath_(RecordPath(spoolPath)) {
    std::string text;
    if (!platform::readFile(recordPath_, text)) return;
    exists_ = true;
    size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos = end + 1;
        if (first) {
            startedAt_ = std::strtoll(line.c_str(), nullptr, 10);
            first = false;
        } else if (!line.empty()) {
            done_.insert(line);
        }
    }
}

std::string DistributionProgress::RecordPath(const std::string& spoolPath) {
    const size_t dot = spoolPath.rfind('.');
    const size_t slash = spoolPath.rfind('/');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? spoolPath.substr(0, dot + 1) : spoolPath + ".") + kRecordExtension;
}

bool DistributionProgress::Begin() {
    if (exists_) return true;
    startedAt_ = platform::currentTime().seconds;
    std::ofstream f(recordPath_, std::ios::binary | std::ios::trunc);
    f << startedAt_ << "\r\n";
    f.flush();
    exists_ = static_cast<bool>(f);
    return exists_;
}

bool DistributionProgress::Done(const std::string& address) const {
    return done_.count(text::toUpper(address)) != 0;
}

void DistributionProgress::MarkDone(const std::string& address) {
    const std::string key = text::toUpper(address);
    done_.insert(key);
    if (!exists_) return;
    // An address never holds a line break (the member file is read by
    // lines), so one line each is enough.
    std::ofstream f(recordPath_, std::ios::binary | std::ios::app);
    f << key << "\r\n";
}

int64_t DistributionProgress::AgeSeconds() const { return platform::currentTime().seconds - startedAt_; }

void DistributionProgress::Finish() {
    platform::removeFile(recordPath_);
    exists_ = false;
}

bool HasUnfinishedDistribution(const MailList& list) {
    bool any = false;
    for (const auto& e : platform::findFiles(list.directory, std::string("*.") + kRecordExtension)) {
        if (e.isDirectory) continue;
        const std::string record = list.directory + e.name;
        const std::string spool = record.substr(0, record.size() - (sizeof kRecordExtension - 1)) + "NEW";
        if (platform::fileExists(spool))
            any = true;
        else
            platform::removeFile(record);
    }
    return any;
}
