// Turning a list's spooled ".NEW" files into actions: read each one, find the
// command in its subject, hand it to its handler, then delete it, archive it
// as ".MSG" or set it aside as ".BAD".
#pragma once

#include "MailList.h"

void ProcessNewMail(MailList& list);
