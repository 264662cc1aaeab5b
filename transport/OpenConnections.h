// Every mail connection of this library open now, so that a user giving up
// on a connection test can break them all off from another thread.
#pragma once

#include <mutex>
#include <set>

class MailSocket;

namespace transport {

class OpenConnections {
public:
    static OpenConnections& instance();

    void add(MailSocket* socket);     // once its socket is in place
    void remove(MailSocket* socket);  // before its socket goes
    // Every open connection's waits end at once, as for a broken link.
    void abortAll();

private:
    std::mutex lock_;
    std::set<MailSocket*> sockets_;
};

}  // namespace transport
