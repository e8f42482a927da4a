#include "platform/qt/qt_tcp_connector.h"

#include <QTcpSocket>

namespace tw::platform {

namespace {

// A connected socket. A callback may destroy the connection that called
// it: the connection calls a copy of it and touches nothing of its own
// afterwards, and the socket is deleted by the event loop.
class QtTcpClientConnection : public TcpConnection {
public:
    QtTcpClientConnection(QTcpSocket* socket, std::string peer) : socket_(socket), peer_(std::move(peer)) {
        auto readable = [this] {
            auto callback = on_readable;
            if (callback) callback();
        };
        QObject::connect(socket_, &QTcpSocket::readyRead, readable);
        QObject::connect(socket_, &QTcpSocket::disconnected, readable);
        QObject::connect(socket_, &QTcpSocket::errorOccurred, readable);
        QObject::connect(socket_, &QTcpSocket::bytesWritten, [this] {
            if (!watching_ || socket_->bytesToWrite() >= QtTcpConnector::max_buffered) return;
            auto callback = on_writable;
            if (callback) callback();
        });
    }
    ~QtTcpClientConnection() override {
        QObject::disconnect(socket_, nullptr, nullptr, nullptr);
        socket_->abort();
        socket_->deleteLater();
    }

    long receive(char* data, std::size_t size) override {
        const qint64 n = socket_->read(data, static_cast<qint64>(size));
        if (n > 0) return static_cast<long>(n);
        if (n < 0 || socket_->state() != QAbstractSocket::ConnectedState) return -1;
        return 0;
    }
    long send(const char* data, std::size_t size) override {
        if (socket_->state() != QAbstractSocket::ConnectedState) return -1;
        const qint64 room = QtTcpConnector::max_buffered - socket_->bytesToWrite();
        if (room <= 0) return 0;
        const qint64 n = socket_->write(data, std::min<qint64>(room, static_cast<qint64>(size)));
        return n < 0 ? -1 : static_cast<long>(n);
    }
    void watch_writable(bool on) override { watching_ = on; }
    std::string peer() const override { return peer_; }

private:
    QTcpSocket* socket_;
    std::string peer_;
    bool watching_ = false;
};

}  // namespace

QtTcpConnector::~QtTcpConnector() { cancel(); }

void QtTcpConnector::cancel() {
    if (!pending_) return;
    QObject::disconnect(pending_, nullptr, nullptr, nullptr);
    pending_->abort();
    pending_->deleteLater();
    pending_ = nullptr;
    done_ = nullptr;
}

void QtTcpConnector::connect(const std::string& host, int port, Done done) {
    cancel();
    done_ = std::move(done);
    peer_ = host + ":" + std::to_string(port);
    pending_ = new QTcpSocket();
    QObject::connect(pending_, &QTcpSocket::connected, [this] { finish(true); });
    QObject::connect(pending_, &QTcpSocket::errorOccurred, [this] { finish(false); });
    pending_->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
}

void QtTcpConnector::finish(bool connected) {
    QTcpSocket* socket = pending_;
    Done done = std::move(done_);
    pending_ = nullptr;
    done_ = nullptr;
    if (!socket) return;
    QObject::disconnect(socket, nullptr, nullptr, nullptr);
    if (!connected) {
        const std::string why = socket->errorString().toStdString();
        socket->abort();
        socket->deleteLater();
        if (done) done(nullptr, "cannot connect to " + peer_ + ": " + why);
        return;
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto link = std::make_unique<QtTcpClientConnection>(socket, peer_);
    if (done) done(std::move(link), {});
}

}  // namespace tw::platform
