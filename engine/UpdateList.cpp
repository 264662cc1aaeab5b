#include "UpdateList.h"

#include <utility>

#include "DistributionProgress.h"
#include "FetchMail.h"
#include "MailSending.h"
#include "ListSignIn.h"
#include "ProcessNewMail.h"
#include "SendingLimits.h"
#include "Spool.h"
#include "SpoolCleanup.h"

namespace {
constexpr int32_t kBadFileDays = 30;
}

void UpdateList(MailList& list) {
    ForgetServersDown();
    RemoveOldFiles(list, std::string(SpoolExtension(SpoolState::Archived)), list.keep);
    RemoveOldFiles(list, std::string(SpoolExtension(SpoolState::SetAside)), kBadFileDays);
    RemoveOldFiles(list, std::string(SpoolExtension(SpoolState::Work)), 0);
    PrepareListSignIn(list);
    SetAuthRefusedHandler([&list] { return RenewListSignIn(list); });
    UseSendingAccount(list);
    // A post that has not reached every member yet is taken up again also
    // when no new mail came, and so is mail held back while the member file
    // could not be read, and a delivery report or an administrator's
    // command whose record could not be written.
    const bool mailWaiting = std::exchange(list.mailWaiting, false);
    if (FetchMail(list) || HasUnfinishedDistribution(list) || list.memberFileError != 0 || mailWaiting)
        ProcessNewMail(list);
    SetAuthRefusedHandler({});
}
