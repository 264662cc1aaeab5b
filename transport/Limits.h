// Time limits of the mail dialogues. Production code always runs with the
// defaults; tests that provoke silence shorten them so they finish quickly.
#pragma once

#include <cstdint>

namespace transport {

struct Limits {
    uint32_t replyMs = 60000;              // every reply wait, and completing a connect
    uint32_t listInactivityMs = 30000;     // POP3 listing: silence after the last piece
    uint32_t messageInactivityMs = 5000;   // POP3 message: silence after the last piece
    // A whole POP3 transfer may take transferBaseMs plus one second for every
    // transferBytesPerSecond received, so a trickling server cannot hold the
    // caller for ever while a large message on a slow line still gets through.
    uint32_t transferBaseMs = 60000;
    uint32_t transferBytesPerSecond = 2048;
    // A POP3 listing longer than this is no listing any mailbox needs.
    uint32_t listingMaxBytes = 16u << 20;
};

// The limits in force (per library: each library links its own copy).
const Limits& limits();

// For tests only: replace the limits of this copy of the transport.
void setLimitsForTesting(const Limits& l);
// For tests only: back to the defaults.
void resetLimitsForTesting();

// For tests only: called by a reply wait between looking at what has arrived
// and going to sleep for more, so a test can land the reply in that window.
using ReplyWaitHook = void (*)(void* context);
void setReplyWaitHookForTesting(ReplyWaitHook hook, void* context);
// Runs the hook when one is set; nothing in production.
void runReplyWaitHook();

}  // namespace transport
