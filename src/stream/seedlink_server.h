#pragma once
// The station's data server: accepts clients on a TCP listener (plain
// SeedLink or SeedLink over WebSocket, which the transport tells apart) and
// runs one protocol session for each (see seedlink_session.h), on the
// program's own event loop. Nothing here waits: reads take what has
// arrived, writes what the system takes, the rest waits in the session's
// bounded queue until the connection can be written again. A slow client
// therefore costs the acquisition nothing and delays no other client.
//
// Lock-out. At most `max_clients` connections are served and at most
// `max_per_address` from one address; one more is closed as soon as it is
// accepted. A connection that sends no command within the session's first
// command time-out is closed, so that silent sockets free their places
// within seconds. Refusals and disconnections are counted and summed up in
// one notice at most once a minute, never one line per connection.

#include "platform/clock.h"
#include "platform/tcp.h"
#include "stream/record_ring.h"
#include "stream/seedlink_session.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tw::stream {

struct ServerLimits {
    // A few hundred viewers of one station: about 1 MiB of memory and one
    // socket each, well within a small computer.
    std::size_t max_clients = 500;
    // Enough for one house of clients behind one router, too few for one
    // host to take every place.
    std::size_t max_per_address = 20;
    SessionLimits session;
};

class SeedLinkServer {
public:
    // Bytes read from a client per notification.
    static constexpr std::size_t read_chunk = 4096;
    // Shortest time between two notices about refusals and disconnections.
    static constexpr std::int64_t notice_interval_ms = 60000;

    SeedLinkServer(const ServerIdentity& identity, const RecordRing& ring,
                   platform::TcpListener& listener, const platform::Clock& clock,
                   ServerLimits limits = {});
    ~SeedLinkServer();
    SeedLinkServer(const SeedLinkServer&) = delete;
    SeedLinkServer& operator=(const SeedLinkServer&) = delete;

    // New records are in the ring: every client in the data flow gets what
    // it wants of them.
    void records_added();
    // Once a second: silent clients go, and the notice of what was refused
    // or disconnected leaves when one is due.
    void tick();

    std::size_t clients() const { return clients_.size(); }
    std::uint64_t refused() const { return refused_; }
    std::uint64_t disconnected() const { return disconnected_; }
    std::vector<ConnectionInfo> connections() const;
    // Called with a line that sums up the connections refused and the
    // clients disconnected by the server since the last one, and why.
    std::function<void(const std::string&)> on_notice;

private:
    struct Client {
        std::unique_ptr<platform::TcpConnection> link;
        SeedLinkSession session;
        std::string peer;
        std::string address;
        std::int64_t connected_us = 0;
        bool protocol_chosen = false;
        bool gone = false;
    };

    void accept(std::unique_ptr<platform::TcpConnection> link);
    void read_from(Client& client);
    void write_to(Client& client);
    void drop(Client& client, const std::string& reason);
    void reap();
    void notify(std::int64_t now_ms);
    std::int64_t now_us() const;

    const ServerIdentity& identity_;
    const RecordRing& ring_;
    platform::TcpListener& listener_;
    const platform::Clock& clock_;
    ServerLimits limits_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::map<std::string, std::size_t> per_address_;
    std::uint64_t refused_ = 0;
    std::uint64_t disconnected_ = 0;
    // Since the last notice: reasons with their counts, and the addresses
    // refused.
    std::map<std::string, std::uint64_t> pending_;
    std::map<std::string, std::uint64_t> pending_addresses_;
    std::int64_t last_notice_ms_ = 0;
    bool noticed_ = false;
};

}  // namespace tw::stream
