#pragma once
// Outgoing TCP connections for the station's feeds (DataLink to a ring
// server), without waiting: the name is looked up and the connection made
// in the background, and the result comes through a callback on the
// program's event loop.

#include "platform/tcp.h"

#include <functional>
#include <memory>
#include <string>

namespace tw::platform {

class TcpConnector {
public:
    // The connection, or none with the reason ("cannot connect to
    // host:port: Connection refused").
    using Done = std::function<void(std::unique_ptr<TcpConnection> link, const std::string& error)>;

    virtual ~TcpConnector() = default;  // abandons an attempt under way
    // Starts connecting to `host` (a name or an address) and `port`; `done`
    // is called once, later, from the event loop. A new call abandons the
    // attempt under way, whose `done` is then never called.
    virtual void connect(const std::string& host, int port, Done done) = 0;
    // Abandons the attempt under way, if any.
    virtual void cancel() = 0;
};

}  // namespace tw::platform
