#pragma once
// TCP over the system's sockets, watched by the Qt event loop: every socket
// is non-blocking and a QSocketNotifier says when it can be read, written or
// accepted from. Nothing here ever waits.
//
// A callback may destroy the connection that called it: the connection
// calls a copy of it and touches nothing of its own afterwards, and its
// notifiers are deleted by the event loop.

#include "platform/tcp.h"

#include <memory>
#include <string>

class QSocketNotifier;

namespace tw::platform {

class QtTcpListener : public TcpListener {
public:
    QtTcpListener() = default;
    ~QtTcpListener() override;
    QtTcpListener(const QtTcpListener&) = delete;
    QtTcpListener& operator=(const QtTcpListener&) = delete;

    bool listen(const std::string& address, int port, std::string* error) override;
    int port() const override { return port_; }

private:
    void accept_waiting();

    int fd_ = -1;
    int port_ = 0;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tw::platform
