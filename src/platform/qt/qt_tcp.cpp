#include "platform/qt/qt_tcp.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tw::platform {

namespace {

std::string address_text(const sockaddr* address) {
    char host[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (address->sa_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(address);
        inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
        port = ntohs(a->sin_port);
    } else if (address->sa_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_V4MAPPED(&a->sin6_addr)) {
            // An IPv4 peer on the dual-stack socket: named as such.
            inet_ntop(AF_INET, &a->sin6_addr.s6_addr[12], host, sizeof host);
        } else {
            inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
        }
        port = ntohs(a->sin6_port);
    }
    return std::string(host) + ":" + std::to_string(port);
}

void dispose(QSocketNotifier*& notifier) {
    if (!notifier) return;
    notifier->setEnabled(false);
    QObject::disconnect(notifier, nullptr, nullptr, nullptr);
    notifier->deleteLater();
    notifier = nullptr;
}

// Longest HTTP upgrade request taken, headers included.
constexpr std::size_t max_request = 8192;
// Messages a WebSocket peer may send: a command line is far shorter.
constexpr quint64 max_incoming_message = 4096;
// Bytes a WebSocket may hold unsent before send() reports a full buffer
// (about the system's buffer of a plain socket).
constexpr qint64 max_websocket_backlog = 256 * 1024;
// Commands received and not yet read by the owner.
constexpr std::size_t max_inbox = 64 * 1024;

bool starts_with_verb(std::string_view bytes, bool* undecided) {
    static constexpr std::string_view verbs[] = {"GET ", "HEAD ", "POST ", "PUT ", "DELETE ",
                                                 "OPTIONS ", "TRACE ", "CONNECT ", "PATCH "};
    *undecided = false;
    for (auto verb : verbs) {
        if (bytes.substr(0, verb.size()) == verb) return true;
        if (bytes.size() < verb.size() && verb.substr(0, bytes.size()) == bytes) *undecided = true;
    }
    return false;
}

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

class QtTcpConnection : public TcpConnection {
public:
    QtTcpConnection(int fd, std::string peer, const WebSocketOptions& websocket)
        : fd_(fd), peer_(std::move(peer)), websocket_options_(websocket),
          mode_(websocket.path.empty() ? Mode::raw : Mode::sniffing) {
        reader_ = new QSocketNotifier(fd_, QSocketNotifier::Read);
        QObject::connect(reader_, &QSocketNotifier::activated, [this] {
            if (mode_ == Mode::sniffing) {
                sniff();
                return;
            }
            auto callback = on_readable;  // may destroy this connection
            if (callback) callback();
        });
        writer_ = new QSocketNotifier(fd_, QSocketNotifier::Write);
        writer_->setEnabled(false);
        QObject::connect(writer_, &QSocketNotifier::activated, [this] {
            auto callback = on_writable;
            if (callback) callback();
        });
    }
    ~QtTcpConnection() override {
        dispose(reader_);
        dispose(writer_);
        if (socket_) {
            QObject::disconnect(socket_, nullptr, nullptr, nullptr);
            socket_->abort();
            socket_->deleteLater();
        }
        if (server_) {
            QObject::disconnect(server_, nullptr, nullptr, nullptr);
            server_->deleteLater();
        }
        if (retry_) {
            retry_->stop();
            retry_->deleteLater();
        }
        if (fd_ >= 0) ::close(fd_);
    }

    long receive(char* data, std::size_t size) override {
        if (mode_ == Mode::failed) return -1;
        if (mode_ == Mode::websocket || mode_ == Mode::upgrading) {
            if (inbox_.empty()) return closed_ ? -1 : 0;
            const std::size_t n = inbox_.copy(data, size);
            inbox_.erase(0, n);
            return static_cast<long>(n);
        }
        if (mode_ != Mode::raw) return 0;
        for (;;) {
            const ssize_t n = ::recv(fd_, data, size, 0);
            if (n > 0) return static_cast<long>(n);
            if (n == 0) return -1;  // the peer closed
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            return -1;
        }
    }
    long send(const char* data, std::size_t size) override {
        if (mode_ == Mode::failed) return -1;
        if (mode_ == Mode::websocket) {
            if (closed_) return -1;
            if (socket_->bytesToWrite() > max_websocket_backlog) return 0;
            socket_->sendBinaryMessage(QByteArray(data, static_cast<qsizetype>(size)));
            return static_cast<long>(size);
        }
        if (mode_ != Mode::raw) return 0;
        for (;;) {
            const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
            if (n >= 0) return static_cast<long>(n);
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            return -1;
        }
    }
    void watch_writable(bool on) override {
        watching_writable_ = on;
        if (writer_ && writer_->isEnabled() != on) writer_->setEnabled(on);
    }
    std::string peer() const override { return peer_; }
    bool frames_messages() const override {
        return mode_ == Mode::upgrading || mode_ == Mode::websocket;
    }
    int chosen_protocol() const override {
        if (!socket_) return 0;
        const std::string chosen = socket_->subprotocol().toStdString();
        for (const auto& [name, protocol] : websocket_options_.subprotocols)
            if (name == chosen) return protocol;
        return 0;
    }

private:
    enum class Mode { sniffing, raw, upgrading, websocket, failed };

    // Tells plain TCP from an HTTP request by the first bytes, without
    // taking them: an upgrade leaves them to Qt WebSockets.
    void sniff() {
        char buffer[max_request];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_PEEK);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        const std::string_view bytes(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        bool undecided = false;
        const bool http = starts_with_verb(bytes, &undecided);
        if (n <= 0 || (!http && !undecided)) {
            mode_ = Mode::raw;
            auto callback = on_readable;
            if (callback) callback();
            return;
        }
        const auto end = bytes.find("\r\n\r\n");
        if (undecided || end == std::string_view::npos) {
            if (bytes.size() >= max_request) {
                refuse("431 Request Header Fields Too Large", "the request is too long");
                return;
            }
            wait_for_more();
            return;
        }
        upgrade(std::string(bytes.substr(0, end + 2)));
    }

    // The rest of a request arrives later: look again shortly instead of
    // being woken without end by bytes that are left in place.
    void wait_for_more() {
        reader_->setEnabled(false);
        if (!retry_) {
            retry_ = new QTimer;
            retry_->setSingleShot(true);
            QObject::connect(retry_, &QTimer::timeout, [this] {
                if (reader_) reader_->setEnabled(true);
            });
        }
        retry_->start(20);
    }

    void refuse(const std::string& status, const std::string& why) {
        const std::string body = why + "\r\n";
        const std::string response = "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\n"
                                     "Content-Length: " + std::to_string(body.size()) +
                                     "\r\nConnection: close\r\n\r\n" + body;
        [[maybe_unused]] const ssize_t sent = ::send(fd_, response.data(), response.size(), MSG_NOSIGNAL);
        ::shutdown(fd_, SHUT_RDWR);
        fail();
    }

    void fail() {
        mode_ = Mode::failed;
        dispose(reader_);
        dispose(writer_);
        auto callback = on_readable;
        if (callback) callback();
    }

    void upgrade(const std::string& request) {
        // Request line and the subprotocols asked for.
        const auto line_end = request.find("\r\n");
        const std::string line = request.substr(0, line_end);
        const auto first_space = line.find(' ');
        const auto second_space = line.find(' ', first_space + 1);
        std::string target = line.substr(first_space + 1, second_space - first_space - 1);
        if (const auto query = target.find('?'); query != std::string::npos) target.resize(query);
        if (line.substr(0, first_space) != "GET") {
            refuse("405 Method Not Allowed", "only GET " + websocket_options_.path + " (a WebSocket upgrade) is served here");
            return;
        }
        if (target != websocket_options_.path) {
            refuse("404 Not Found", "SeedLink over WebSocket is at " + websocket_options_.path);
            return;
        }
        std::vector<std::string> asked;
        for (std::size_t at = line_end + 2; at < request.size();) {
            const auto end = request.find("\r\n", at);
            const std::string header = request.substr(at, end - at);
            at = end == std::string::npos ? request.size() : end + 2;
            const auto colon = header.find(':');
            if (colon == std::string::npos || lower(header.substr(0, colon)) != "sec-websocket-protocol") continue;
            std::string list = header.substr(colon + 1);
            for (std::size_t from = 0; from <= list.size();) {
                auto comma = list.find(',', from);
                if (comma == std::string::npos) comma = list.size();
                std::string name = list.substr(from, comma - from);
                name.erase(0, name.find_first_not_of(" \t"));
                name.erase(name.find_last_not_of(" \t") + 1);
                if (!name.empty()) asked.push_back(name);
                from = comma + 1;
            }
        }
        QStringList offered;
        bool agreed = asked.empty();
        for (const auto& [name, protocol] : websocket_options_.subprotocols) {
            offered << QString::fromStdString(name);
            for (const auto& a : asked) agreed = agreed || a == name;
        }
        if (!agreed) {
            std::string names;
            for (const auto& [name, protocol] : websocket_options_.subprotocols)
                names += (names.empty() ? "" : ", ") + name;
            refuse("400 Bad Request", "subprotocols offered: " + names);
            return;
        }
        // Qt WebSockets takes the socket, reads the request and answers it
        // (426 for a version it does not speak, 400 for a bad upgrade).
        mode_ = Mode::upgrading;
        dispose(reader_);
        dispose(writer_);
        server_ = new QWebSocketServer(QStringLiteral("TERRAWAVE"), QWebSocketServer::NonSecureMode);
        server_->setSupportedSubprotocols(offered);
        auto* tcp = new QTcpSocket;
        if (!tcp->setSocketDescriptor(fd_)) {
            delete tcp;
            fail();
            return;
        }
        fd_ = -1;  // the socket's now
        QObject::connect(tcp, &QTcpSocket::disconnected, server_, [this] {
            if (mode_ == Mode::upgrading) closed_with_failure();
        });
        QObject::connect(server_, &QWebSocketServer::newConnection, server_, [this] { established(); });
        server_->handleConnection(tcp);
    }

    void closed_with_failure() {
        mode_ = Mode::failed;
        auto callback = on_readable;
        if (callback) callback();
    }

    void established() {
        socket_ = server_->nextPendingConnection();
        if (!socket_) return;
        mode_ = Mode::websocket;
        socket_->setMaxAllowedIncomingMessageSize(max_incoming_message);
        socket_->setMaxAllowedIncomingFrameSize(max_incoming_message);
        auto take = [this](const QByteArray& message) {
            if (inbox_.size() + static_cast<std::size_t>(message.size()) > max_inbox) {
                socket_->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("commands not read"));
                closed_ = true;
            } else {
                // One message, one command: its line end is optional.
                inbox_.append(message.constData(), static_cast<std::size_t>(message.size()));
                if (!message.endsWith('\n') && !message.endsWith('\r')) inbox_ += '\n';
            }
            auto callback = on_readable;
            if (callback) callback();
        };
        QObject::connect(socket_, &QWebSocket::textMessageReceived, server_,
                         [take](const QString& text) { take(text.toUtf8()); });
        QObject::connect(socket_, &QWebSocket::binaryMessageReceived, server_, take);
        QObject::connect(socket_, &QWebSocket::disconnected, server_, [this] {
            closed_ = true;
            auto callback = on_readable;
            if (callback) callback();
        });
        QObject::connect(socket_, &QWebSocket::bytesWritten, server_, [this](qint64) {
            if (!watching_writable_ || socket_->bytesToWrite() > max_websocket_backlog / 2) return;
            auto callback = on_writable;
            if (callback) callback();
        });
    }

    int fd_;
    std::string peer_;
    WebSocketOptions websocket_options_;
    Mode mode_;
    QSocketNotifier* reader_ = nullptr;
    QSocketNotifier* writer_ = nullptr;
    QTimer* retry_ = nullptr;
    QWebSocketServer* server_ = nullptr;
    QWebSocket* socket_ = nullptr;
    std::string inbox_;
    bool closed_ = false;
    bool watching_writable_ = false;
};

}  // namespace

QtTcpListener::~QtTcpListener() {
    dispose(notifier_);
    if (fd_ >= 0) ::close(fd_);
}

bool QtTcpListener::listen(const std::string& address, int port, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        return false;
    };
    if (fd_ >= 0) return fail("already listening");
    if (port < 0 || port > 65535) return fail("port " + std::to_string(port) + " is not 0 to 65535");

    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_UNSPEC;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    // Every address: IPv6 and IPv4 on one socket where the machine has IPv6.
    const char* host = address.empty() ? nullptr : address.c_str();
    if (!host) hints.ai_family = AF_INET6;
    int rc = ::getaddrinfo(host, service.c_str(), &hints, &found);
    if (rc != 0 && !host) {
        hints.ai_family = AF_INET;
        rc = ::getaddrinfo(host, service.c_str(), &hints, &found);
    }
    if (rc != 0) return fail("cannot use address '" + address + "': " + ::gai_strerror(rc));

    std::string last_error = "no usable address";
    for (addrinfo* a = found; a; a = a->ai_next) {
        fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd_ < 0) {
            last_error = std::strerror(errno);
            continue;
        }
        const int yes = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (a->ai_family == AF_INET6 && !host) {
            const int no = 0;
            ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
        }
        if (::bind(fd_, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd_, SOMAXCONN) == 0) break;
        last_error = "cannot listen on " + address_text(a->ai_addr) + ": " + std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
    }
    ::freeaddrinfo(found);
    if (fd_ < 0) return fail(last_error);

    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length) == 0) {
        port_ = bound.ss_family == AF_INET6
                    ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                    : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, [this] { accept_waiting(); });
    return true;
}

void QtTcpListener::accept_waiting() {
    // A bounded number per notification, so that a storm of connections
    // cannot hold the event loop.
    for (int i = 0; i < 32; ++i) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;  // EAGAIN, or a connection that died meanwhile
        auto link = std::make_unique<QtTcpConnection>(fd, address_text(reinterpret_cast<sockaddr*>(&peer)),
                                                      websocket_);
        if (on_connection) {
            on_connection(std::move(link));
        }
    }
}

}  // namespace tw::platform
