// The engine installed in a temporary home directory beside a temporary system
// directory (its registry and event log), run one polling pass at a time; and
// the list "club" whose mailbox is on a private Dovecot and whose members'
// mail goes to a Python SMTP sink, both on one loopback address.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DovecotServer.h"
#include "SmtpSink.h"
#include "tests/TempDir.h"

namespace harness {

// Copies the built engine and its mail libraries, and the `more` deliverables,
// into `dir` as an installation lays them out.
void copyEngine(const std::string& dir, const std::vector<std::string>& more = {});

// Runs the engine installed in `homeDir` in console mode until its first pass
// is complete, stops it with Ctrl-C and returns all it printed. `failure`
// says what went wrong (with the output), empty when nothing did.
std::string runOnePass(const std::string& homeDir, const std::string& systemDir, std::string& failure);

class ListHome {
public:
    ListHome() { copyEngine(home.path()); }

    // Starts both servers on `address` (user "list", password "secret") and
    // writes the list; `general` and `smtp` are extra lines of those sections.
    bool start(const std::string& address, const std::string& general, const std::string& smtp,
               const std::string& members, std::string* error);

    std::string pass(std::string& failure) const { return runOnePass(home.path(), system.path(), failure); }

    TempDir home, system;
    std::unique_ptr<DovecotServer> dovecot;
    std::unique_ptr<SmtpSink> sink;
};

}  // namespace harness
