// Which members a post has reached, kept beside its spool file (same name,
// ".SENT"), so a distribution cut short by a server, a stop request or a
// crash goes on later with the members not yet served, and only with them.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "MailList.h"
#include "platform/Directory.h"

class DistributionProgress {
public:
    // Reads the record of the spool file at spoolPath, if there is one.
    explicit DistributionProgress(const std::string& spoolPath);
    // A record that fell behind (a mark that could not be appended) is
    // written anew whole.
    ~DistributionProgress();
    DistributionProgress(const DistributionProgress&) = delete;
    DistributionProgress& operator=(const DistributionProgress&) = delete;

    static std::string RecordPath(const std::string& spoolPath);

    // Creates the record when the distribution starts; false when it cannot
    // be written (the post still goes out, only without resuming).
    bool Begin();
    bool Done(const std::string& address) const;
    // Noted at once, so a crash right after the send does not repeat it.
    void MarkDone(const std::string& address);
    // Seconds since the distribution first started.
    int64_t AgeSeconds() const;
    // The distribution is over: the record goes.
    void Finish();

private:
    bool writeWhole();

    platform::Directory directory_;
    std::string recordName_;
    platform::UniqueFd record_;             // the record, open for appending once begun
    std::unordered_set<std::string> done_;  // upper-cased addresses
    int64_t startedAt_ = 0;
    bool exists_ = false;   // a record of this post is on disk
    bool damaged_ = false;  // its start could not be read: it counts from now and is written anew
    bool behind_ = false;   // it lacks marks that could not be appended
};

// True when some post of the list waits to reach members it has not reached
// yet. Records left without their spool file are removed on the way.
bool HasUnfinishedDistribution(const MailList& list);
