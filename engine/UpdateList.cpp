#include "UpdateList.h"

#include "DistributionProgress.h"
#include "FetchMail.h"
#include "MailSending.h"
#include "ListSecurity.h"
#include "ListSignIn.h"
#include "ProcessNewMail.h"
#include "SpoolCleanup.h"

namespace {
constexpr int32_t kBadFileDays = 30;
}

void UpdateList(MailList& list) {
    ForgetServersDown();
    RemoveOldFiles(list, "MSG", list.keep);
    RemoveOldFiles(list, "BAD", kBadFileDays);
    RemoveOldFiles(list, "TMP", 0);
    PrepareListSignIn(list);
    SetAuthRefusedHandler([&list] { return RenewListSignIn(list); });
    // A post that has not reached every member yet is taken up again also
    // when no new mail came, and so is mail held back while the member file
    // could not be read.
    if (FetchMail(list) || HasUnfinishedDistribution(list) || list.memberFileError != 0) ProcessNewMail(list);
    SetAuthRefusedHandler({});
}
