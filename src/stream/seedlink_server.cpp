#include "stream/seedlink_server.h"

#include "stream/channel_codes.h"

#include <algorithm>

namespace tw::stream {

namespace {

std::string address_of(const std::string& peer) {
    const auto colon = peer.rfind(':');
    return colon == std::string::npos ? peer : peer.substr(0, colon);
}

}  // namespace

SeedLinkServer::SeedLinkServer(const ServerIdentity& identity, const RecordRing& ring,
                               platform::TcpListener& listener, const platform::Clock& clock,
                               ServerLimits limits)
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
    const std::string peer = link->peer();
    const std::string address = address_of(peer);
    std::string refusal;
    if (clients_.size() >= limits_.max_clients) {
        refusal = "refused: " + std::to_string(limits_.max_clients) + " clients served";
    } else if (per_address_[address] >= limits_.max_per_address) {
        refusal = "refused: " + std::to_string(limits_.max_per_address) + " from one address";
    }
    if (!refusal.empty()) {
        refused_ += 1;
        pending_[refusal] += 1;
        pending_addresses_[address] += 1;
        if (per_address_[address] == 0) per_address_.erase(address);
        return;  // closed as it goes out of scope
    }
    per_address_[address] += 1;
    auto client = std::make_unique<Client>(Client{
        std::move(link), SeedLinkSession(identity_, ring_, limits_.session, clock_.monotonic_ms()),
        peer, address, now_us()});
    Client* c = client.get();
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

void SeedLinkServer::drop(Client& client, const std::string& reason) {
    if (client.gone) return;
    client.gone = true;
    disconnected_ += 1;
    pending_["disconnected: " + reason] += 1;
}

void SeedLinkServer::read_from(Client& client) {
    if (client.gone) return;
    char buffer[read_chunk];
    const long n = client.link->receive(buffer, sizeof buffer);
    if (n < 0) {
        client.gone = true;
        return;
    }
    if (!client.protocol_chosen) {
        // A WebSocket subprotocol names the protocol before any command.
        client.protocol_chosen = true;
        if (const int p = client.link->chosen_protocol(); p != 0) client.session.use_protocol(p);
    }
    if (n == 0) return;
    client.session.receive(std::string_view(buffer, static_cast<std::size_t>(n)),
                           clock_.monotonic_ms(), now_us());
    write_to(client);
}

void SeedLinkServer::write_to(Client& client) {
    if (client.gone) return;
    SeedLinkSession& session = client.session;
    const bool framed = client.link->frames_messages();
    for (;;) {
        if (session.aborted()) {
            drop(client, session.abort_reason());
            return;
        }
        session.pump();
        const std::string_view out = framed ? session.next_message() : session.output();
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
        drop(client, session.abort_reason());
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
    notify(now);
}

void SeedLinkServer::notify(std::int64_t now_ms) {
    if (pending_.empty() || !on_notice) return;
    if (noticed_ && now_ms - last_notice_ms_ < notice_interval_ms) return;
    std::string line;
    for (const auto& [reason, count] : pending_)
        line += (line.empty() ? "" : "; ") + std::to_string(count) + " " + reason;
    if (!pending_addresses_.empty()) {
        // The address refused most often.
        const auto top = std::max_element(pending_addresses_.begin(), pending_addresses_.end(),
                                          [](const auto& a, const auto& b) { return a.second < b.second; });
        line += " (most from " + top->first + ")";
    }
    on_notice("connections " + line);
    pending_.clear();
    pending_addresses_.clear();
    last_notice_ms_ = now_ms;
    noticed_ = true;
}

std::vector<ConnectionInfo> SeedLinkServer::connections() const {
    std::vector<ConnectionInfo> out;
    out.reserve(clients_.size());
    for (const auto& c : clients_) {
        ConnectionInfo info;
        info.peer = c->peer;
        info.transport = c->link->frames_messages() ? "websocket" : "tcp";
        info.connected_us = c->connected_us;
        info.protocol = c->session.protocol();
        info.user_agent = c->session.user_agent();
        info.streaming = c->session.streaming();
        info.dialup = c->session.dialup();
        info.cursor = c->session.cursor_number();
        info.packets = c->session.packets_sent();
        out.push_back(std::move(info));
    }
    return out;
}

void SeedLinkServer::reap() {
    for (const auto& c : clients_) {
        if (!c->gone) continue;
        auto it = per_address_.find(c->address);
        if (it != per_address_.end() && --it->second == 0) per_address_.erase(it);
    }
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                  [](const std::unique_ptr<Client>& c) { return c->gone; }),
                   clients_.end());
}

}  // namespace tw::stream
