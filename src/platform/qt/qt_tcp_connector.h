#pragma once
// Outgoing TCP connections over QTcpSocket: the name lookup and the
// connection run in the background of the Qt event loop, and the connection
// is then handed over as a TcpConnection. Writes are taken while fewer than
// `max_buffered` bytes wait in the socket (more waits in the caller's
// bounded queue), so a stuck server costs the program bounded memory.

#include "platform/tcp_connector.h"

class QTcpSocket;

namespace tw::platform {

class QtTcpConnector : public TcpConnector {
public:
    static constexpr long long max_buffered = 256 * 1024;

    QtTcpConnector() = default;
    ~QtTcpConnector() override;
    QtTcpConnector(const QtTcpConnector&) = delete;
    QtTcpConnector& operator=(const QtTcpConnector&) = delete;

    void connect(const std::string& host, int port, Done done) override;
    void cancel() override;

private:
    void finish(bool connected);

    QTcpSocket* pending_ = nullptr;
    std::string peer_;
    Done done_;
};

}  // namespace tw::platform
