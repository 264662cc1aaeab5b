#include "Limits.h"

namespace transport {

namespace {
// Written only by tests before they start a dialogue.
Limits g_limits;
}  // namespace

const Limits& limits() { return g_limits; }

void setLimitsForTesting(const Limits& l) { g_limits = l; }

void resetLimitsForTesting() { g_limits = Limits{}; }

}  // namespace transport
