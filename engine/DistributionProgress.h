// Which members a post has reached, kept beside its spool file (same name,
// ".SENT"), so a distribution cut short by a server, a stop request or a
// crash goes on later with the members not yet served, and only with them.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "MailList.h"

class DistributionProgress {
public:
    // Reads the record of the spool file at spoolPath, if there is one.
    explicit DistributionProgress(std::string spoolPath);

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
    std::string recordPath_;
    std::unordered_set<std::string> done_;  // upper-cased addresses
    int64_t startedAt_ = 0;
    bool exists_ = false;
};

// True when some post of the list waits to reach members it has not reached
// yet. Records left without their spool file are removed on the way.
bool HasUnfinishedDistribution(const MailList& list);
