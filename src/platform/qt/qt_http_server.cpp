#include "platform/qt/qt_http_server.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <vector>

namespace tw::platform {

namespace {

std::string method_text(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get: return "GET";
    case QHttpServerRequest::Method::Head: return "HEAD";
    case QHttpServerRequest::Method::Post: return "POST";
    case QHttpServerRequest::Method::Put: return "PUT";
    case QHttpServerRequest::Method::Delete: return "DELETE";
    case QHttpServerRequest::Method::Options: return "OPTIONS";
    case QHttpServerRequest::Method::Patch: return "PATCH";
    case QHttpServerRequest::Method::Connect: return "CONNECT";
    case QHttpServerRequest::Method::Trace: return "TRACE";
    default: return "UNKNOWN";
    }
}

// The idle limit of a connection: a timer, child of its socket, that
// closes it when neither a request nor the answer's progress has restarted
// it for http_limits::idle_ms.
const char* const idle_timer_name = "tw_http_idle";

void arm_idle_limit(QTcpSocket* socket) {
    auto* timer = new QTimer(socket);
    timer->setObjectName(idle_timer_name);
    timer->setSingleShot(true);
    timer->setInterval(http_limits::idle_ms);
    QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->abort(); });
    QObject::connect(socket, &QTcpSocket::bytesWritten, timer, [timer] { timer->start(); });
    timer->start();
}

void restart_idle_limit(QTcpSocket* socket) {
    if (auto* timer = socket->findChild<QTimer*>(idle_timer_name, Qt::FindDirectChildrenOnly))
        timer->start();
}

// Feeds a streamed body to the socket as the client takes it, then closes
// the connection (the end of the body is the end of the connection).
class BodyPump : public QObject {
public:
    BodyPump(QTcpSocket* socket, std::unique_ptr<BodySource> source)
        : QObject(socket), socket_(socket), source_(std::move(source)),
          buffer_(static_cast<std::size_t>(http_limits::stream_piece)) {
        QObject::connect(socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
        QTimer::singleShot(0, this, [this] { pump(); });
    }

private:
    void pump() {
        if (!source_) return;
        while (socket_->state() == QAbstractSocket::ConnectedState &&
               socket_->bytesToWrite() < http_limits::stream_high_water) {
            const std::size_t n = source_->read(buffer_.data(), buffer_.size());
            if (n == 0) {
                source_.reset();
                socket_->disconnectFromHost();  // after what waits has gone
                return;
            }
            socket_->write(buffer_.data(), static_cast<qint64>(n));
        }
    }

    QTcpSocket* socket_;
    std::unique_ptr<BodySource> source_;
    std::vector<char> buffer_;
};

}  // namespace

// Counts the connections and refuses those over the limits before Qt
// HttpServer sees them.
class LimitedTcpServer : public QTcpServer {
public:
    LimitedTcpServer(QtHttpServer& owner) : QTcpServer(&owner), owner_(owner) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (!owner_.admit(socket)) return;
        addPendingConnection(socket);
    }

private:
    QtHttpServer& owner_;
};

QtHttpServer::QtHttpServer(HttpHandler handler, QObject* parent)
    : QAbstractHttpServer(parent), handler_(std::move(handler)) {}

bool QtHttpServer::listen_on(const std::string& address, int port, std::string* error) {
    QHostAddress host = QHostAddress::Any;
    if (address == "localhost") {
        host = QHostAddress::LocalHost;
    } else if (!address.empty() && !host.setAddress(QString::fromStdString(address))) {
        if (error) *error = "'" + address + "' is not an IP address";
        return false;
    }
    auto* server = new LimitedTcpServer(*this);
    if (!server->listen(host, static_cast<quint16>(port))) {
        if (error) *error = server->errorString().toStdString();
        delete server;
        return false;
    }
    port_ = server->serverPort();
    bind(server);
    return true;
}

bool QtHttpServer::admit(QTcpSocket* socket) {
    const QString address = socket->peerAddress().toString();
    if (connections_ >= http_limits::max_connections ||
        per_address_[address] >= http_limits::max_connections_per_address) {
        // Refused before Qt HttpServer reads a byte: a fixed answer.
        const auto refusal = text_response(503, "Too many connections, try again later.");
        socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
                      "Content-Length: " +
                      QByteArray::number(qsizetype(refusal.body.size())) +
                      "\r\nConnection: close\r\n\r\n" + QByteArray::fromStdString(refusal.body));
        socket->disconnectFromHost();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
        return false;
    }
    connections_ += 1;
    per_address_[address] += 1;
    QObject::connect(socket, &QObject::destroyed, this, [this, address] {
        connections_ -= 1;
        if (--per_address_[address] <= 0) per_address_.erase(address);
    });
    socket->setReadBufferSize(http_limits::max_request_bytes);
    arm_idle_limit(socket);
    return true;
}

bool QtHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    HttpRequest in;
    in.method = method_text(request.method());
    in.path = request.url().path().toStdString();
    in.query = request.url().query(QUrl::FullyEncoded).toStdString();
    in.peer = request.remoteAddress().toString().toStdString();
    in.if_none_match = request.value("if-none-match").toStdString();
    in.if_modified_since = request.value("if-modified-since").toStdString();
    HttpResponse out = handler_(in);

    restart_idle_limit(socket);
    const bool head = in.method == "HEAD";
    const bool close = out.source != nullptr ||
                       request.value("connection").compare("close", Qt::CaseInsensitive) == 0;

    auto responder = makeResponder(request, socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(out.status));
    // 204 and 304 have no body, so no length or type of one.
    const bool no_body = out.status == 204 || out.status == 304;
    if (!no_body)
        responder.writeHeader("Content-Type", QByteArray::fromStdString(out.content_type));
    if (!out.source && !no_body)
        responder.writeHeader("Content-Length", QByteArray::number(qsizetype(out.body.size())));
    for (const auto& [name, value] : out.headers)
        responder.writeHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    if (close) responder.writeHeader("Connection", "close");
    responder.writeBody(head ? "" : out.body.data(), head ? 0 : qint64(out.body.size()));
    if (out.source && !head) {
        new BodyPump(socket, std::move(out.source));
    } else if (close) {
        socket->disconnectFromHost();
    }
    return true;
}

void QtHttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

}  // namespace tw::platform
