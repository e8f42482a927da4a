#pragma once
// TCP over the system's sockets, watched by the Qt event loop: every socket
// is non-blocking and a QSocketNotifier says when it can be read, written or
// accepted from. Nothing here ever waits.
//
// WebSocket on the same port: when the listener accepts WebSocket, a
// connection whose first bytes are an HTTP request is upgraded by Qt
// WebSockets (QWebSocketServer::handleConnection) when it asks for the
// agreed path, and refused with a plain HTTP error otherwise (wrong path
// 404, another method 405, only subprotocols not offered 400, a request
// too long 431). Each message received is handed on as one line; each
// send() goes out as one binary message, as browser clients of the field
// require even for text answers.
//
// A callback may destroy the connection that called it: the connection
// calls a copy of it and touches nothing of its own afterwards, and its
// notifiers and Qt objects are deleted by the event loop.

#include "platform/tcp.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class QSocketNotifier;

namespace tw::platform {

struct WebSocketOptions {
    std::string path;  // "/seedlink"; empty: no WebSocket
    // Subprotocols offered, with the protocol version each chooses.
    std::vector<std::pair<std::string, int>> subprotocols;
};

class QtTcpListener : public TcpListener {
public:
    QtTcpListener() = default;
    ~QtTcpListener() override;
    QtTcpListener(const QtTcpListener&) = delete;
    QtTcpListener& operator=(const QtTcpListener&) = delete;

    bool listen(const std::string& address, int port, std::string* error) override;
    int port() const override { return port_; }
    // Connections that open with an HTTP request are taken as WebSocket.
    void accept_websocket(WebSocketOptions options) { websocket_ = std::move(options); }

private:
    void accept_waiting();

    int fd_ = -1;
    int port_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    WebSocketOptions websocket_;
};

}  // namespace tw::platform
