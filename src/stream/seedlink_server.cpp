#include "stream/seedlink_server.h"

#include "stream/channel_codes.h"

#include <algorithm>

namespace tw::stream {

SeedLinkServer::SeedLinkServer(const ServerIdentity& identity, const RecordRing& ring,
                               platform::TcpListener& listener, const platform::Clock& clock,
                               SessionLimits limits)
    : identity_(identity), ring_(ring), listener_(listener), clock_(clock), limits_(limits) {
    listener_.on_connection = [this](std::unique_ptr<platform::TcpConnection> link) {
        accept(std::move(link));
    };
}

SeedLinkServer::~SeedLinkServer() { listener_.on_connection = nullptr; }

std::int64_t SeedLinkServer::now_us() const {
    const auto t = clock_.now();
    return civil_time_us(t.year, t.month, t.day, t.hour, t.minute, t.second,
                         t.millisecond * 1000);
}

void SeedLinkServer::accept(std::unique_ptr<platform::TcpConnection> link) {
    if (!link) return;
    if (clients_.size() >= max_clients) {
        refused_ += 1;
        return;  // closed as it goes out of scope
    }
    auto client = std::make_unique<Client>(Client{
        std::move(link), SeedLinkSession(identity_, ring_, limits_, clock_.monotonic_ms()), {}});
    Client* c = client.get();
    c->peer = c->link->peer();
    c->link->on_readable = [this, c] {
        read_from(*c);
        reap();
    };
    c->link->on_writable = [this, c] {
        write_to(*c);
        reap();
    };
    clients_.push_back(std::move(client));
}

void SeedLinkServer::read_from(Client& client) {
    if (client.gone) return;
    char buffer[read_chunk];
    const long n = client.link->receive(buffer, sizeof buffer);
    if (n < 0) {
        client.gone = true;
        return;
    }
    if (n == 0) return;
    client.session.receive(std::string_view(buffer, static_cast<std::size_t>(n)),
                           clock_.monotonic_ms(), now_us());
    write_to(client);
}

void SeedLinkServer::write_to(Client& client) {
    if (client.gone) return;
    SeedLinkSession& session = client.session;
    for (;;) {
        if (session.aborted()) {
            if (on_notice) on_notice("client " + client.peer + " disconnected: " + session.abort_reason());
            client.gone = true;
            return;
        }
        session.pump();
        const std::string_view out = session.output();
        if (out.empty()) break;
        const long n = client.link->send(out.data(), out.size());
        if (n < 0) {
            client.gone = true;
            return;
        }
        session.consumed(static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < out.size()) break;  // the system's buffer is full
    }
    if (session.aborted()) {
        if (on_notice) on_notice("client " + client.peer + " disconnected: " + session.abort_reason());
        client.gone = true;
        return;
    }
    const bool waiting = !session.output().empty();
    client.link->watch_writable(waiting);
    if (!waiting && session.closing()) client.gone = true;
}

void SeedLinkServer::records_added() {
    for (auto& client : clients_)
        if (client->session.streaming()) write_to(*client);
    reap();
}

void SeedLinkServer::tick() {
    const std::int64_t now = clock_.monotonic_ms();
    for (auto& client : clients_) {
        client->session.check_timeout(now);
        if (client->session.aborted()) write_to(*client);
    }
    reap();
}

void SeedLinkServer::reap() {
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                  [](const std::unique_ptr<Client>& c) { return c->gone; }),
                   clients_.end());
}

}  // namespace tw::stream
