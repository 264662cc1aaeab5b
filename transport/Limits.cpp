#include "Limits.h"

namespace transport {

namespace {
// Written only by tests before they start a dialogue.
Limits g_limits;
ReplyWaitHook g_replyWaitHook = nullptr;
void* g_replyWaitContext = nullptr;
}  // namespace

const Limits& limits() { return g_limits; }

void setLimitsForTesting(const Limits& l) { g_limits = l; }

void resetLimitsForTesting() { g_limits = Limits{}; }

void setReplyWaitHookForTesting(ReplyWaitHook hook, void* context) {
    g_replyWaitHook = hook;
    g_replyWaitContext = context;
}

void runReplyWaitHook() {
    if (g_replyWaitHook) g_replyWaitHook(g_replyWaitContext);
}

}  // namespace transport
