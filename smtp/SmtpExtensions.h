// What a server's EHLO reply offers (RFC 5321 4.1.1.1): its first line names
// the server, every further line is a keyword with its parameters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "smtp/SmtpReply.h"

namespace smtp {

struct Extensions {
    bool startTls = false;
    bool pipelining = false;  // RFC 2920: commands may go out in groups
    // SASL mechanisms of the AUTH keyword (also the older "AUTH=" form),
    // upper case, in the server's order.
    std::vector<std::string> authMechanisms;

    bool offersAuth(std::string_view mechanism) const;
};

// Nothing is offered by a reply other than 250, as after HELO.
Extensions parseEhlo(const Reply& reply);

}  // namespace smtp
