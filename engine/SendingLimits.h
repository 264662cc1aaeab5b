// The recipients handed to an SMTP server, counted per account (server and
// user name) with every list that shares the account, and kept in the system
// directory so that a restart forgets nothing. A list holds itself to its own
// [SMTP] MaxPerMinute, MaxPerHour and MaxPerDay: a post goes to as many
// members as they allow now and the others wait for later passes; nothing
// ever waits inside a pass. Replies, welcome mail and notices are counted but
// never held back: they are few and answer someone now.
//
// The counts: $SYSTEM_DIR/limits/Recipients.TXT, rewritten whole under the
// lock Recipients.LCK beside it, one line per account and second with
// recipients in the last day: seconds since 1970, count, server, user name,
// separated by tabs (the names lower-cased, control bytes escaped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "MailList.h"

// Each list loaded: a list with limits has its account counted from then
// on, for the lists without limits that share it too.
void NoteSendingLimits(const MailList& list);
// The list whose mail goes out from now on (each list's update).
void UseSendingAccount(const MailList& list);
// One message to one recipient outside a post: counted, never held back.
void CountSingleSend();

// A post's share of its list's limits: taken when the post sets out, what it
// did not use given back when it is done.
class PostAllowance {
public:
    // `wanted`: the members the post has not reached yet.
    PostAllowance(const MailList& list, size_t wanted);
    ~PostAllowance();
    PostAllowance(const PostAllowance&) = delete;
    PostAllowance& operator=(const PostAllowance&) = delete;

    // One more copy. False when the limits allow no more now.
    bool take();
    // The limit that held copies back ("3 a minute"); empty when none did.
    const std::string& reached() const { return reached_; }

private:
    std::string account_;
    bool counted_ = false;
    int64_t takenAt_ = 0;
    int64_t granted_ = 0;
    int64_t used_ = 0;
    std::string reached_;
};

// The counts file.
std::string SendingCountPath();
