// The DataLink feed of terrawave --headless against the simulated board and
// a ring server written here from the protocol, which keeps every WRITE it
// acknowledges: every archived record reaches it once and in order per
// stream, through a refused write, a connection closed in the middle of a
// packet, the server stopped for a while and the program killed and started
// again.

#include "simulated_station.h"

#include "../stream/unpacked_record.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

namespace {

using namespace tw::integration;

// A DataLink server on 127.0.0.1 in a thread of the test: answers ID with
// write permission, and OK to each WRITE, which it keeps.
std::size_t count(const std::map<std::string, std::vector<std::string>>& records) {
    std::size_t n = 0;
    for (const auto& [id, list] : records) n += list.size();
    return n;
}

class TestRingServer {
public:
    TestRingServer() { start(); }
    ~TestRingServer() { stop(); }

    void start() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 4) != 0) {
            ADD_FAILURE() << "the test server cannot listen on port " << port_;
            return;
        }
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        running_ = true;
        thread_ = std::thread([this] { serve(); });
    }
    // Closes the listener and the connection: a server that is gone.
    void stop() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
        listener_ = -1;
    }

    int port() const { return port_; }
    // The next WRITE gets ERROR and the connection is closed, as the
    // established server does.
    std::atomic<bool> refuse_next{false};
    // The connection is closed after the header of the next WRITE.
    std::atomic<bool> close_mid_packet{false};
    // Nothing more is read (and so nothing answered) until this is off;
    // then the held connection is closed unread: a server that hung and
    // was restarted.
    std::atomic<bool> hold{false};
    std::atomic<int> refused{0}, cut{0};

    // Records kept per stream id, in the order written.
    std::map<std::string, std::vector<std::string>> kept() {
        std::lock_guard lock(mutex_);
        return kept_;
    }
    std::size_t kept_count() { return count(kept()); }

private:
    static void send_packet(int fd, const std::string& header, const std::string& data = {}) {
        const std::string bytes = "DL" + std::string(1, static_cast<char>(header.size())) + header + data;
        (void)!::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Handles the whole packets at the front of `in`; false to close.
    bool handle(int fd, std::string& in) {
        while (in.size() >= 3) {
            if (in.compare(0, 2, "DL") != 0) return false;
            const auto length = static_cast<std::size_t>(static_cast<unsigned char>(in[2]));
            if (in.size() < 3 + length) return true;
            const std::string header = in.substr(3, length);
            if (header.starts_with("ID ")) {
                send_packet(fd, "ID DataLink v1.1 (test server) :: DLPROTO:1.1 PACKETSIZE:512 WRITE");
                in.erase(0, 3 + length);
                continue;
            }
            if (!header.starts_with("WRITE ")) return false;
            if (close_mid_packet.exchange(false)) {
                cut += 1;
                return false;
            }
            const std::size_t size = std::stoul(header.substr(header.rfind(' ') + 1));
            if (in.size() < 3 + length + size) return true;
            const std::string record = in.substr(3 + length, size);
            in.erase(0, 3 + length + size);
            if (refuse_next.exchange(false)) {
                refused += 1;
                send_packet(fd, "ERROR 0 27", "Error adding packet to ring");
                return false;
            }
            std::size_t id;
            {
                std::lock_guard lock(mutex_);
                const std::string stream = header.substr(6, header.find(' ', 6) - 6);
                kept_[stream].push_back(record);
                id = ++next_id_;
            }
            send_packet(fd, "OK " + std::to_string(id) + " 0");
        }
        return true;
    }
    void serve() {
        int client = -1;
        std::string in;
        bool held = false;
        while (running_) {
            if (held && !hold && client >= 0) {
                ::close(client);
                client = -1;
            }
            held = hold;
            pollfd fds[2] = {{listener_, POLLIN, 0}, {client, POLLIN, 0}};
            if (::poll(fds, held ? 1 : 2, 50) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                // A new connection replaces the old one, as after a reset.
                if (client >= 0) ::close(client);
                client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                in.clear();
                held = false;  // the held connection is gone, this one is new
                continue;
            }
            if (client < 0 || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[8192];
            const long n = ::recv(client, buffer, sizeof buffer, 0);
            if (n > 0) in.append(buffer, static_cast<std::size_t>(n));
            if (n <= 0 || !handle(client, in)) {
                ::close(client);
                client = -1;
            }
        }
        if (client >= 0) ::close(client);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> running_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, std::vector<std::string>> kept_;
    std::size_t next_id_ = 0;
};

class DataLinkTest : public StationTest {
protected:
    // The archived records per stream id, in file order.
    std::map<std::string, std::vector<std::string>> archived() const {
        std::map<std::string, std::vector<std::string>> out;
        for (const char* code : {"HHZ", "HHN"}) {
            const fs::path folder = folder_ / "sds" / "2024" / "TW" / "TW1" / (std::string(code) + ".D");
            for (const auto& file : files_in(folder)) {
                const std::string bytes = read_file(file.string());
                for (std::size_t at = 0; at + 512 <= bytes.size(); at += 512)
                    out["TW_TW1__" + std::string(code) + "/MSEED"].push_back(bytes.substr(at, 512));
            }
        }
        return out;
    }
    std::size_t archived_count() const { return count(archived()); }
    std::unique_ptr<Background> start_program(int port) {
        return std::make_unique<Background>(
            TW_TERRAWAVE,
            headless_arguments(board_->device(), {"--mseed", (folder_ / "sds").string(), "--station", "tw1",
                                                  "--network", "TW", "--datalink",
                                                  "127.0.0.1:" + std::to_string(port), "--status-every", "1"}),
            (folder_ / "tw.out").string(), (folder_ / "tw.err").string(), pc_clock_at(pc_start_));
    }
    std::unique_ptr<SimulatedBoard> board_;
};

TEST_F(DataLinkTest, EveryArchivedRecordReachesTheServerOnceThroughRefusalsOutagesAndAKill) {
    // Channels 1 and 2 at 200 samples per second (HHZ and HHN), the board
    // running twice as fast as the clock.
    edit_settings({{0, "ADT=", " 0"}, {1, "SPS=", " 12 "}, {1, "VAX=", " 3 "}, {2, "SPS=", " 12 "},
                   {2, "VAX=", " 1 "}, {3, "SPS=", " 0 "}, {4, "SPS=", " 0 "}});
    board_ = std::make_unique<SimulatedBoard>(folder_, std::vector<std::string>{"--family", "orda10", "--speed-factor", "2"});
    ASSERT_TRUE(board_->ready());
    TestRingServer server;
    auto program = start_program(server.port());
    const std::string err = (folder_ / "tw.err").string();
    auto kept_grows_by = [&](std::size_t n) {
        const std::size_t target = server.kept_count() + n;
        return wait_until([&] { return server.kept_count() >= target; }, 90s);
    };
    ASSERT_TRUE(kept_grows_by(6)) << read_file(err);

    // A refused record, then a connection closed inside a packet: both are
    // written again on the next connection.
    server.refuse_next = true;
    ASSERT_TRUE(wait_until([&] { return server.refused == 1; }, 60s));
    ASSERT_TRUE(kept_grows_by(4)) << read_file(err);
    server.close_mid_packet = true;
    ASSERT_TRUE(wait_until([&] { return server.cut == 1; }, 60s));
    ASSERT_TRUE(kept_grows_by(4)) << read_file(err);

    // The server gone while records pile up in the archive, then back.
    server.stop();
    const std::size_t before = archived_count();
    ASSERT_TRUE(wait_until([&] { return archived_count() >= before + 8; }, 90s));
    server.start();
    ASSERT_TRUE(wait_until([&] { return server.kept_count() >= before + 8; }, 90s)) << read_file(err);

    // The program killed while the server reads nothing: what it wrote then
    // was never taken, and the position file has every acknowledgement.
    server.hold = true;
    const auto last = server.kept();
    ASSERT_TRUE(wait_until([&] {
        const std::string positions = read_file((station() / "datalink.pos").string());
        for (const auto& [id, records] : last) {
            const auto start_us = tw::stream::check::unpack(records.back()).start_us;
            if (positions.find(id + " " + std::to_string(start_us) + "\r\n") == std::string::npos) return false;
        }
        return archived_count() >= server.kept_count() + 6;
    }, 90s));
    program->signal(SIGKILL);
    program->wait(30s);
    const std::size_t at_kill = archived_count();
    server.hold = false;

    // Started again: what the archive holds and the server never took goes
    // first, then the live records.
    program = start_program(server.port());
    ASSERT_TRUE(wait_until([&] { return server.kept_count() >= at_kill + 6; }, 120s)) << read_file(err);
    program->signal(SIGTERM);
    ASSERT_EQ(program->wait(60s), 0) << read_file(err);
    board_->stop();

    // Every stream on the server is the archive's records in the archive's
    // order, each once; only the records of the last seconds before the
    // STOP may still wait for the next start.
    const auto on_server = server.kept();
    const auto in_archive = archived();
    ASSERT_EQ(on_server.size(), 2u);
    for (const auto& [id, records] : in_archive) {
        SCOPED_TRACE(id);
        const auto& got = on_server.at(id);
        ASSERT_LE(got.size(), records.size());
        EXPECT_LE(records.size() - got.size(), 4u);
        for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], records[i]) << "record " << i;
    }
    // The event list names the outages once each, not every attempt.
    const auto lines = events();
    const auto count = [&](const std::string& part) {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
    };
    EXPECT_EQ(count("the server refused a record: Error adding packet to ring; trying again"), 1);
    EXPECT_EQ(count("; trying again"), 3);  // refused, cut, stopped
    EXPECT_EQ(count("DataLink: writing to 127.0.0.1:"), 5);  // two starts, three recoveries
    EXPECT_NE(read_file(err).find("; DataLink up, "), std::string::npos);
}

}  // namespace
