// Bounces.TXT: the delivery reports counted against each member, one line a
// member, written by the engine under the member file's lock.
//
// Each line: address, count, first and last report dates (YYYY-MM-DD, the
// days the engine handled them), the last report's status and reason,
// separated by tabs and ended by CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace list {

struct BounceEntry {
    std::string address;  // as the member file spells it
    int32_t count = 0;     // permanent reports since the count last started
    std::string first;     // the day the count started
    std::string last;      // the day of the last report, permanent or transient
    std::string status;
    std::string reason;
};

// Reads the record of the list directory `directory`. No file is an empty
// record; false (platform::lastErrorCode() tells why) when the file is there
// but cannot be read. Lines that are no entry are passed over.
bool readBounceRecord(const std::string& directory, std::vector<BounceEntry>& entries);

// Replaces the record with `entries`, complete on disk before it replaces
// the old one, under the member-file lock; a new file takes the member
// file's mode and owner. On failure the old record is left as it was, false
// is returned and platform::lastErrorCode() tells why.
bool writeBounceRecord(const std::string& directory, const std::vector<BounceEntry>& entries);

}  // namespace list
