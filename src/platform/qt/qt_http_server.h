#pragma once
// The station's HTTP server over Qt HttpServer, on the program's event loop:
// Qt parses each request; the handler decides the answer; this class only
// moves the bytes, and keeps every connection bounded.

#include "platform/http.h"

#include <QAbstractHttpServer>

#include <map>
#include <string>

class QTcpSocket;

namespace tw::platform {

// Limits of the server, each with its reason.
namespace http_limits {
// Connections at once, and from one address: a station computer is small;
// a browser opens about six connections to one server.
inline constexpr int max_connections = 64;
inline constexpr int max_connections_per_address = 8;
// Bytes of a request kept while it arrives: a request line and headers of
// a few kilobytes are all any client sends; a longer one waits until the
// idle limit closes its connection.
inline constexpr qint64 max_request_bytes = 16 * 1024;
// A connection that completes no request and takes none of its answer for
// this long is closed (slow senders, slow readers, idle keep-alive).
inline constexpr int idle_ms = 20000;
// A streamed answer is read from its source only while less than this
// waits in the socket, in pieces of stream_piece bytes.
inline constexpr qint64 stream_high_water = 256 * 1024;
inline constexpr qint64 stream_piece = 64 * 1024;
}  // namespace http_limits

class QtHttpServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit QtHttpServer(HttpHandler handler, QObject* parent = nullptr);

    // Listens on `address` (empty: every address of the machine) and `port`
    // (0: a free port the system picks). False with the reason in `error`.
    bool listen_on(const std::string& address, int port, std::string* error);
    int port() const { return port_; }
    // Connections open now.
    int connections() const { return connections_; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    friend class LimitedTcpServer;
    // False when the connection is over the limits (it is answered 503 and
    // closed).
    bool admit(QTcpSocket* socket);

    HttpHandler handler_;
    int port_ = 0;
    int connections_ = 0;
    std::map<QString, int> per_address_;
};

}  // namespace tw::platform
