#pragma once
// The station's data server: accepts clients on a TCP listener and runs one
// protocol session for each (see seedlink_session.h), on the program's own
// event loop. Nothing here waits: reads take what has arrived, writes what
// the system takes, the rest waits in the session's bounded queue until the
// connection can be written again. A slow client therefore costs the
// acquisition nothing and delays no other client.
//
// At most max_clients connections are served; one more is closed as soon
// as it is accepted.

#include "platform/clock.h"
#include "platform/tcp.h"
#include "stream/record_ring.h"
#include "stream/seedlink_session.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tw::stream {

class SeedLinkServer {
public:
    static constexpr std::size_t max_clients = 64;
    // Bytes read from a client per notification.
    static constexpr std::size_t read_chunk = 4096;

    SeedLinkServer(const ServerIdentity& identity, const RecordRing& ring,
                   platform::TcpListener& listener, const platform::Clock& clock,
                   SessionLimits limits = {});
    ~SeedLinkServer();
    SeedLinkServer(const SeedLinkServer&) = delete;
    SeedLinkServer& operator=(const SeedLinkServer&) = delete;

    // New records are in the ring: every client in the data flow gets what
    // it wants of them.
    void records_added();
    // Once a second: clients silent too long in the handshake go.
    void tick();

    std::size_t clients() const { return clients_.size(); }
    std::uint64_t refused() const { return refused_; }
    // Called with a line about a client that was disconnected by the
    // server, and why.
    std::function<void(const std::string&)> on_notice;

private:
    struct Client {
        std::unique_ptr<platform::TcpConnection> link;
        SeedLinkSession session;
        std::string peer;
        bool gone = false;
    };

    void accept(std::unique_ptr<platform::TcpConnection> link);
    void read_from(Client& client);
    void write_to(Client& client);
    void reap();
    std::int64_t now_us() const;

    const ServerIdentity& identity_;
    const RecordRing& ring_;
    platform::TcpListener& listener_;
    const platform::Clock& clock_;
    SessionLimits limits_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::uint64_t refused_ = 0;
};

}  // namespace tw::stream
