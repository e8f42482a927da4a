#include "platform/qt/qt_tcp.h"

#include <QObject>
#include <QSocketNotifier>

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
        inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
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

class QtTcpConnection : public TcpConnection {
public:
    QtTcpConnection(int fd, std::string peer) : fd_(fd), peer_(std::move(peer)) {
        reader_ = new QSocketNotifier(fd_, QSocketNotifier::Read);
        QObject::connect(reader_, &QSocketNotifier::activated, [this] {
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
        ::close(fd_);
    }

    long receive(char* data, std::size_t size) override {
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
        for (;;) {
            const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
            if (n >= 0) return static_cast<long>(n);
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            return -1;
        }
    }
    void watch_writable(bool on) override {
        if (writer_ && writer_->isEnabled() != on) writer_->setEnabled(on);
    }
    std::string peer() const override { return peer_; }

private:
    int fd_;
    std::string peer_;
    QSocketNotifier* reader_ = nullptr;
    QSocketNotifier* writer_ = nullptr;
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
        if (::bind(fd_, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd_, 64) == 0) break;
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
        auto link = std::make_unique<QtTcpConnection>(fd, address_text(reinterpret_cast<sockaddr*>(&peer)));
        if (on_connection) {
            on_connection(std::move(link));
        }
    }
}

}  // namespace tw::platform
