// The administrators' mail already acted on, so that a captured approval or
// command sent again does nothing twice. Kept in the list directory as
// AdminMail.IDS: one line per message, its Message-ID after the time it was
// acted on (seconds since 1970) and a tab, ended by CR LF; a line older than
// the list's Keep days (at least one) is dropped when the record is written.
#pragma once

#include <string>
#include <vector>

#include "MailList.h"

enum class ActedOn { Before, Recorded, NotWritten };

// Before when `checkReplay` and one of `ids` was acted on within the list's
// Keep days; otherwise adds `ids` as acted on now and writes the record
// whole, durably, before anything is done: NotWritten, and said, when it
// cannot be written.
ActedOn RecordActedOn(const MailList& list, const std::vector<std::string>& ids, bool checkReplay);
