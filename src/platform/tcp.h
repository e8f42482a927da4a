#pragma once
// TCP for the station's data server: a listening socket and the
// connections it accepts, all without waiting. The owner is told through the
// callbacks when a connection arrives and when one can be read or written;
// they run on the program's event loop.
//
// A connection may turn out to carry WebSocket (its first bytes are an
// HTTP upgrade request): it then frames messages, and every send() hands
// over exactly one message, whole or not at all.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace tw::platform {

class TcpConnection {
public:
    virtual ~TcpConnection() = default;  // closes the connection

    // Reads what has arrived, at most `size` bytes: the count read; 0 when
    // nothing waits; -1 when the peer closed the connection or it failed.
    // On a WebSocket each message arrives as one line.
    virtual long receive(char* data, std::size_t size) = 0;
    // Hands at most `size` bytes to the system: the count taken, 0 when its
    // buffer is full (on_writable tells when it has room again), -1 when the
    // connection failed. With frames_messages(), `size` bytes are one
    // message, taken whole (the count is `size`) or not at all (0).
    virtual long send(const char* data, std::size_t size) = 0;
    // on_writable is called only while this is on.
    virtual void watch_writable(bool on) = 0;
    // "address:port" of the peer.
    virtual std::string peer() const = 0;
    // Whether sends are messages (a WebSocket), and the protocol version
    // the peer chose in its upgrade request (0: none).
    virtual bool frames_messages() const { return false; }
    virtual int chosen_protocol() const { return 0; }

    std::function<void()> on_readable;
    std::function<void()> on_writable;
};

class TcpListener {
public:
    virtual ~TcpListener() = default;

    // Listens on `address` (empty: every address of the machine) and `port`
    // (0: a free port the system picks). False with the reason in `error`.
    virtual bool listen(const std::string& address, int port, std::string* error) = 0;
    // The port listened on, 0 before listen().
    virtual int port() const = 0;

    // A new connection; the callee owns it from then on.
    std::function<void(std::unique_ptr<TcpConnection>)> on_connection;
};

}  // namespace tw::platform
