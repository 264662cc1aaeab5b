#include "OpenConnections.h"

#include "transport/MailSocket.h"

namespace transport {

OpenConnections& OpenConnections::instance() {
    static OpenConnections connections;
    return connections;
}

void OpenConnections::add(MailSocket* socket) {
    std::lock_guard lock(lock_);
    sockets_.insert(socket);
}

void OpenConnections::remove(MailSocket* socket) {
    std::lock_guard lock(lock_);
    sockets_.erase(socket);
}

void OpenConnections::abortAll() {
    // Under the lock, so no connection can close meanwhile.
    std::lock_guard lock(lock_);
    for (MailSocket* s : sockets_) s->Abort();
}

}  // namespace transport
