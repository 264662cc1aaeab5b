#include "UpdateList.h"

#include "FetchMail.h"
#include "ListSecurity.h"
#include "ProcessNewMail.h"
#include "SpoolCleanup.h"

namespace {
constexpr int32_t kBadFileDays = 30;
}

void UpdateList(MailList& list) {
    RemoveOldFiles(list, "MSG", list.keep);
    RemoveOldFiles(list, "BAD", kBadFileDays);
    RemoveOldFiles(list, "TMP", 0);
    ApplyListSecurity(list);
    if (FetchMail(list)) ProcessNewMail(list);
}
