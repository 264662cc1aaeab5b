#include "StripMessage.h"

// Not built yet: messages are processed as fetched. ProcessNewMail already
// calls this before it opens each spool file, so the stripping slots in here.
void StripMessage(const MailList&, const std::string&) {}
