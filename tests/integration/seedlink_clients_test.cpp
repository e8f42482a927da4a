// The SeedLink server of terrawave --headless as the field's clients meet
// it: a protocol 4.0 client over TCP and one over WebSocket (Qt's client)
// get the board's samples and resume where they left off; silent sockets
// do not lock real clients out; four hundred clients at once all get data.

#include "simulated_station.h"

#include "../stream/unpacked_record.h"

#include <QCoreApplication>
#include <QNetworkRequest>
#include <QWebSocket>
#include <QWebSocketHandshakeOptions>

#include <gtest/gtest.h>

#include <poll.h>

#include <cmath>

namespace {

using namespace tw::integration;
using tw::stream::check::Unpacked;
using tw::stream::check::unpack;

std::uint64_t le(const std::string& bytes, std::size_t at, int size) {
    std::uint64_t v = 0;
    for (int i = 0; i < size; ++i) v |= std::uint64_t(std::uint8_t(bytes[at + i])) << (8 * i);
    return v;
}

// One packet of protocol 4.0: its sequence number and its record.
struct Packet {
    std::uint64_t sequence = 0;
    Unpacked record;
};
std::optional<Packet> parse_packet(const std::string& bytes) {
    if (bytes.size() < 17 || bytes.substr(0, 4) != "SE2D") return std::nullopt;
    const std::size_t id = std::uint8_t(bytes[16]);
    if (bytes.substr(17, id) != "TW_TW1" || bytes.size() != 17 + id + le(bytes, 4, 4)) return std::nullopt;
    return Packet{le(bytes, 8, 8), unpack(bytes.substr(17 + id))};
}

// A client frame (masked, as clients must send them) and an upgrade request.
std::string ws_frame(int opcode, bool fin, const std::string& payload) {
    std::string f(1, static_cast<char>((fin ? 0x80 : 0) | opcode));
    if (payload.size() < 126) {
        f += static_cast<char>(0x80 | payload.size());
    } else {
        f += static_cast<char>(0x80 | 126);
        f += static_cast<char>(payload.size() >> 8), f += static_cast<char>(payload.size() & 0xFF);
    }
    const char mask[4] = {0x11, 0x22, 0x33, 0x44};
    f.append(mask, 4);
    for (std::size_t i = 0; i < payload.size(); ++i) f += static_cast<char>(payload[i] ^ mask[i % 4]);
    return f;
}
std::string upgrade(const std::string& path, const std::string& version, const std::string& protocols) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: " + version + "\r\n" +
           (protocols.empty() ? "" : "Sec-WebSocket-Protocol: " + protocols + "\r\n") + "\r\n";
}

class SeedLinkClientsTest : public StationTest {
protected:
    // Channel 1 at 20 samples per second on Z (BHZ), the others off; the
    // board four times as fast as real time; [STREAM] lines added to the file.
    void start(const std::vector<std::string>& stream_lines = {}) {
        edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {1, "SPS=", " 8 "}, {1, "VAX=", " 3 "},
                       {2, "SPS=", " 0 "}, {3, "SPS=", " 0 "}, {4, "SPS=", " 0 "}});
        std::string text = read_file((station() / "terrawv.ini").string());
        if (!stream_lines.empty()) text += "[STREAM]\r\n";
        for (const auto& line : stream_lines) text += line + "\r\n";
        std::ofstream(station() / "terrawv.ini", std::ios::binary) << text;
        board_ = std::make_unique<SimulatedBoard>(folder_, std::vector<std::string>{"--family", "orda10", "--speed-factor", "4"});
        ASSERT_TRUE(board_->ready());
        err_ = (folder_ / "tw.err").string();
        program_ = std::make_unique<Background>(
            TW_TERRAWAVE, headless_arguments(board_->device(), {"--run-for", "150", "--seedlink", "0", "--station", "tw1", "--network", "TW"}),
            (folder_ / "tw.out").string(), err_, pc_clock_at(pc_start_));
        port_ = port_named(err_, "listening on all addresses port ");
        ASSERT_GT(port_, 0) << read_file(err_);
    }
    void stop() {
        program_->signal(SIGTERM);
        EXPECT_EQ(program_->wait(60s), 0) << read_file(err_);
        board_->stop();
    }
    // The packets' records carry, back to back, what the board sent.
    void expect_board_samples(const std::vector<Packet>& packets) {
        ASSERT_FALSE(packets.empty());
        const auto sent = board_->samples(1);
        std::vector<int> samples;
        for (std::size_t i = 0; i < packets.size(); ++i) {
            const Unpacked& r = packets[i].record;
            EXPECT_EQ(r.channel, "BHZ");
            if (i > 0) {
                EXPECT_EQ(packets[i].sequence, packets[i - 1].sequence + 1) << "packet " << i;
                const auto& before = packets[i - 1].record;
                EXPECT_NEAR(r.start_us, before.start_us + 50000LL * std::int64_t(before.samples.size()), 1000);
            }
            samples.insert(samples.end(), r.samples.begin(), r.samples.end());
        }
        EXPECT_TRUE(sent_at(sent, packets[0].record.start_us, 50000, samples));
    }

    std::unique_ptr<SimulatedBoard> board_;
    std::unique_ptr<Background> program_;
    std::string err_;
    int port_ = 0;
};

TEST_F(SeedLinkClientsTest, ProtocolFourAndWebSocketClientsGetTheBoardsSamplesAndResume) {
    start();
    // Over TCP: two packets, then a new connection from the next number on.
    std::vector<Packet> tcp;
    for (int round = 0; round < 2; ++round) {
        Client client(port_);
        ASSERT_TRUE(client.connected);
        client.send("HELLO\r\nSLPROTO 4.0\r\nSTATION TW_TW1\r\nSELECT *_B_H_Z.2D\r\n");
        EXPECT_TRUE(client.line().starts_with("SeedLink v4.0 (TERRAWAVE"));
        client.line();
        for (int i = 0; i < 3; ++i) EXPECT_EQ(client.line(), "OK");
        client.send(tcp.empty() ? "DATA ALL\r\nEND\r\n" : "DATA " + std::to_string(tcp.back().sequence + 1) + "\r\nEND\r\n");
        EXPECT_EQ(client.line(), "OK");
        for (int i = 0; i < 2; ++i) {
            const std::string header = client.take(17 + 6);
            auto packet = parse_packet(header + client.take(le(header, 4, 4)));
            ASSERT_TRUE(packet);
            tcp.push_back(*packet);
        }
    }

    // Over WebSocket, as a browser client would: every answer and packet a
    // binary message; the subprotocol chooses protocol 4.0.
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name};
    QCoreApplication app(argc, argv);
    std::vector<Packet> web;
    for (int round = 0; round < 2; ++round) {
        QWebSocket socket;
        std::vector<QByteArray> messages;
        bool text_seen = false;
        QObject::connect(&socket, &QWebSocket::binaryMessageReceived, [&](const QByteArray& m) { messages.push_back(m); });
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [&](const QString&) { text_seen = true; });
        QWebSocketHandshakeOptions options;
        options.setSubprotocols({"SeedLink4.0"});
        socket.open(QNetworkRequest(QUrl(QString("ws://127.0.0.1:%1/seedlink").arg(port_))), options);
        auto pump_until = [&](auto condition) {
            return wait_until([&] { QCoreApplication::processEvents(); return condition(); }, 60s);
        };
        ASSERT_TRUE(pump_until([&] { return socket.state() == QAbstractSocket::ConnectedState; }));
        EXPECT_EQ(socket.subprotocol(), "SeedLink4.0");
        const std::string data = web.empty() ? "DATA" : "DATA " + std::to_string(web.back().sequence + 1);
        for (const std::string command : {"HELLO", "STATION TW_TW1", data.c_str(), "END"}) socket.sendTextMessage(QString::fromStdString(command));
        ASSERT_TRUE(pump_until([&] { return messages.size() >= 5; }));
        EXPECT_TRUE(messages[0].startsWith("SeedLink v4.0") && messages[0].count("\r\n") == 2);
        EXPECT_EQ(messages[1], "OK\r\n");
        EXPECT_EQ(messages[2], "OK\r\n");
        for (std::size_t i = 3; i < 5; ++i) {
            auto packet = parse_packet(messages[i].toStdString());
            ASSERT_TRUE(packet) << i;
            web.push_back(*packet);
        }
        EXPECT_FALSE(text_seen);
    }
    stop();
    expect_board_samples(tcp);
    expect_board_samples(web);
}

TEST_F(SeedLinkClientsTest, BadUpgradesAndFramesAreRefusedClearly) {
    start();
    auto status_line = [&](const std::string& request) {
        Client client(port_);
        client.send(request);
        const std::string line = client.line();
        while (!client.line().empty()) {
        }
        EXPECT_EQ(client.take(4096).find("HTTP/"), std::string::npos);  // then closed
        return line;
    };
    EXPECT_EQ(status_line(upgrade("/other", "13", "SeedLink4.0")), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(status_line(upgrade("/seedlink", "13", "chat, superchat")), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(status_line(upgrade("/seedlink", "8", "SeedLink4.0")).substr(0, 12), "HTTP/1.1 400");
    EXPECT_EQ(status_line("POST /seedlink HTTP/1.1\r\nContent-Length: 0\r\n\r\n"), "HTTP/1.1 405 Method Not Allowed");

    Client client(port_);
    client.send(upgrade("/seedlink?x=1", "13", "chat, SeedLink3.1"));
    EXPECT_EQ(client.line(), "HTTP/1.1 101 Switching Protocols");
    bool chosen = false;
    for (std::string h = client.line(); !h.empty(); h = client.line()) chosen = chosen || h == "Sec-WebSocket-Protocol: SeedLink3.1";
    EXPECT_TRUE(chosen);
    // A command in two fragments is one command; its answer one binary frame.
    client.send(ws_frame(0x1, false, "HEL") + ws_frame(0x0, true, "LO"));
    const std::string head = client.take(4);
    EXPECT_EQ(std::uint8_t(head[0]), 0x82);
    EXPECT_EQ(std::uint8_t(head[1]), 126);
    const std::string hello = client.take((std::uint8_t(head[2]) << 8) | std::uint8_t(head[3]));
    EXPECT_TRUE(hello.starts_with("SeedLink v4.0") && hello.ends_with("TERRAWAVE station TW.TW1\r\n")) << hello;
    // A message far longer than any command: closed with "message too big".
    client.send(ws_frame(0x1, true, std::string(20000, 'A')));
    const std::string close = client.take(4);
    EXPECT_EQ(std::uint8_t(close[0]), 0x88);
    EXPECT_EQ((std::uint8_t(close[2]) << 8) | std::uint8_t(close[3]), 1009);
    stop();
}

TEST_F(SeedLinkClientsTest, SilentSocketsLockNoRealClientOut) {
    start();
    std::vector<std::unique_ptr<Client>> silent;
    for (int i = 0; i < 64; ++i) silent.push_back(std::make_unique<Client>(port_));
    const auto opened = std::chrono::steady_clock::now();
    // Another address is served at once.
    {
        Client other(port_, "127.0.0.2");
        other.send("HELLO\r\n");
        EXPECT_TRUE(other.line().starts_with("SeedLink v4.0"));
    }
    // The silent address holds 20 places and the rest are refused; once
    // the 10 s without a command are over, its real client is served too.
    bool served = false;
    while (!served && std::chrono::steady_clock::now() - opened < 60s) {
        Client retry(port_, "127.0.0.1", 2);
        retry.send("HELLO\r\n");
        served = retry.line().starts_with("SeedLink v4.0");
        if (!served) std::this_thread::sleep_for(200ms);
    }
    const auto waited = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - opened);
    EXPECT_TRUE(served);
    // About 10 s, plus up to the server's one-second tick and this retry's
    // pace; far from a lock-out that lasts.
    EXPECT_LT(waited.count(), 20);
    // One notice for the refusals, naming the address (the next one, with
    // the disconnections, a minute later).
    EXPECT_TRUE(wait_until([&] { return read_file(err_).find("refused: 20 from one address (most from 127.0.0.1)") != std::string::npos; }, 30s))
        << read_file(err_);
    stop();
}

TEST_F(SeedLinkClientsTest, FourHundredClientsAtOnceAllGetData) {
    // The limit per address comes from [STREAM]: every client here is local.
    start({"SEEDLINKPERADDRESS=500"});
    constexpr std::size_t count = 400;
    std::vector<std::unique_ptr<Client>> clients;
    for (std::size_t i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<Client>(port_));
        ASSERT_TRUE(clients.back()->connected) << i;
        clients.back()->send("DATA\r\n");
    }
    // Every one receives at least one whole packet.
    std::vector<std::string> received(count);
    std::size_t done = 0;
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (done < count && std::chrono::steady_clock::now() < deadline) {
        std::vector<pollfd> fds;
        for (const auto& c : clients) fds.push_back({c->fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 500);
        done = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if ((fds[i].revents & POLLIN) && received[i].size() < 520) {
                char chunk[1024];
                const long got = ::recv(fds[i].fd, chunk, sizeof chunk, MSG_DONTWAIT);
                if (got > 0) received[i].append(chunk, static_cast<std::size_t>(got));
            }
            if (received[i].size() >= 520) ++done;
        }
    }
    EXPECT_EQ(done, count);
    for (const auto& r : received)
        if (r.size() >= 520) {
            EXPECT_EQ(unpack(r.substr(8, 512)).channel, "BHZ");
        }
    stop();
}

}  // namespace
