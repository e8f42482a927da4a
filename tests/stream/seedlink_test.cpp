// The data server's protocol: command lines, sessions on a ring of records,
// and the server over fake connections (a slow client, too many clients).

#include "fakes/fake_platform.h"
#include "stream/seedlink_server.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace tw::stream;

TEST(CommandParser, TakesTheProtocolsCommandsAndRefusesTheRest) {
    using enum ParseStatus;
    const std::pair<const char*, ParseStatus> cases[] = {
        {"HELLO", ok}, {"hello", ok}, {"  BYE  ", ok}, {"", empty}, {"STATION TW1 TW", ok},
        {"STATION TOOLONG", bad_arguments}, {"STATION", bad_arguments}, {"SELECT", ok}, {"SELECT 00BHZ.D", ok},
        {"SELECT !--HH?", ok}, {"SELECT BH", bad_arguments}, {"SELECT BHZ.X", bad_arguments},
        {"SELECT BHZ HHZ", bad_arguments}, {"DATA", ok}, {"DATA 00FF1A", ok}, {"DATA 1000000", bad_arguments},
        {"DATA -1", bad_arguments}, {"FETCH 1A 2024,1,2,3,4,5", ok}, {"TIME 2024,2,30,0,0,0", bad_arguments},
        {"TIME 2024,1,2,0,0,0 2024,1,1,0,0,0", bad_arguments}, {"TIME 2024,1,2,0,0,0 2024,1,2,0,0,1", ok},
        {"INFO STREAMS", ok}, {"INFO", bad_arguments}, {"END now", bad_arguments},
        {"GET / HTTP/1.1", unknown_command}, {"HEL\x01LO", bad_character}, {"DATA \xff", bad_character},
    };
    for (const auto& [line, status] : cases) EXPECT_EQ(parse_command(line).status, status) << line;
    EXPECT_EQ(parse_command("TIME 2024,1,2,3,4,5").command.begin_us, parse_protocol_time("2024,01,02,03,04,05"));
    EXPECT_EQ(parse_command("DATA 00FF1A").command.sequence, 0xFF1Au);
}

// A ring with `n` records alternating between HHZ and HHN, one second
// each, from 2024/01/01 00:00:00.
RecordRing ring_of(int n, std::size_t capacity = 1000) {
    RecordRing ring(capacity);
    for (int i = 0; i < n; ++i) {
        Record r;
        r.channel = 1 + i % 2, r.seed_channel = {'H', 'H', i % 2 ? 'N' : 'Z'};
        r.start_us = civil_time_us(2024, 1, 1, 0, 0, i), r.end_us = r.start_us + 900000;
        r.bytes[0] = static_cast<std::uint8_t>(i);
        ring.push(r);
    }
    return ring;
}

const ServerIdentity id{"SeedLink v3.1 (TERRAWAVE V.02.22)", "TERRAWAVE station XX.STA", "", 0, {"XX", "STA", ""}};

// The sequence numbers of the data packets in `out`, and what follows them.
std::vector<std::uint32_t> sequences(std::string_view out, std::string* rest = nullptr) {
    std::vector<std::uint32_t> seen;
    while (out.size() >= packet_length && out.substr(0, 2) == "SL" && out.substr(0, 6) != "SLINFO") {
        seen.push_back(static_cast<std::uint32_t>(std::stoul(std::string(out.substr(2, 6)), nullptr, 16)));
        out.remove_prefix(packet_length);
    }
    if (rest) *rest = std::string(out);
    return seen;
}

std::string talk(SeedLinkSession& s, const std::string& lines) {
    s.receive(lines, 0, 0), s.pump();
    std::string out(s.output());
    s.consumed(out.size());
    return out;
}

TEST(Session, StartsWhereAskedFiltersAndEnds) {
    const RecordRing ring = ring_of(10);
    const struct { const char* commands; std::vector<std::uint32_t> expected; const char* after; } cases[] = {
        {"DATA 000004\r\n", {4, 5, 6, 7, 8, 9}, ""},
        {"DATA\n", {}, ""},                                 // only new records
        {"DATA 000FFF\r\n", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, ""},  // not held: the oldest on
        {"SELECT HHN\r\nFETCH 000002\r\n", {3, 5, 7, 9}, "OK\r\nEND"},
        {"SELECT !HHN.D\r\nTIME 2024,1,1,0,0,6 2024,1,1,0,0,8\r\n", {6}, "OK\r\nEND"},
        {"STATION STA XX\r\nDATA 000008\r\nEND\r\n", {8, 9}, "OK\r\nOK\r\n"},
        {"STATION OTHER\r\nDATA\r\nEND\r\n", {}, "ERROR\r\nERROR\r\n"},
        {"END\r\n", {}, "ERROR\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commands);
        SeedLinkSession session(id, ring, {}, 0);
        const std::string out = talk(session, c.commands);
        // Command answers come before the packets, END after them.
        const std::string prefix = out.substr(0, out.find("SL"));
        std::string rest;
        EXPECT_EQ(sequences(out.substr(prefix.size()), &rest), c.expected);
        EXPECT_EQ(prefix + rest, c.after);
    }
}

TEST(Session, AnswersHelloAndInfoAndBoundsWhatItHolds) {
    RecordRing ring = ring_of(4, 8);
    SeedLinkSession session(id, ring, {}, 0);
    std::string out = talk(session, "HELLO\r\nINFO STREAMS\r\n");
    EXPECT_TRUE(out.starts_with("SeedLink v3.1 (TERRAWAVE V.02.22) :: SLPROTO:3.1"));
    // The document, from the text of every INFO packet.
    std::string xml;
    for (auto at = out.find("SLINFO"); at != std::string::npos; at = out.find("SLINFO", at + 8)) {
        const auto* r = reinterpret_cast<const unsigned char*>(out.data() + at + 8);
        xml.append(out, at + 8 + 56, static_cast<std::size_t>(r[30] << 8 | r[31]));
    }
    EXPECT_TRUE(xml.ends_with("</seedlink>\n")) << xml;
    EXPECT_NE(xml.find("<station name=\"STA\" network=\"XX\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("seedname=\"HHN\" type=\"D\" begin_time=\"2024/01/01 00:00:01.0000\""), std::string::npos) << xml;

    // A client that takes nothing: its queue stops at the limit, and when
    // the ring has dropped what it was not sent the session gives up.
    SessionLimits limits;
    limits.max_queued = 3 * packet_length;
    SeedLinkSession stuck(id, ring, limits, 0);
    stuck.receive("DATA 000000\r\n", 0, 0);
    EXPECT_EQ(stuck.output().size(), 3 * packet_length);
    for (int i = 0; i < 8; ++i) ring.push(Record{});
    stuck.pump();
    EXPECT_TRUE(stuck.aborted());

    // An endless line is refused and the connection closes.
    SeedLinkSession flood(id, ring, {}, 0);
    EXPECT_EQ(talk(flood, std::string(10000, 'A')), "ERROR\r\n");
    EXPECT_TRUE(flood.closing());
    SeedLinkSession silent(id, ring, limits, 0);
    silent.check_timeout(limits.handshake_timeout_ms);
    EXPECT_TRUE(silent.aborted());
}

TEST(Session, GarbledInputNeverCrashesAndStaysBounded) {
    RecordRing ring = ring_of(50, 64);
    std::mt19937 random(17);
    const char* words[] = {"HELLO", "STATION", "SELECT", "DATA", "FETCH", "TIME", "END",
                           "INFO", "BYE", "STA", "XX", "!", "?", "HH?.D", "2024,1,1,0,0,0",
                           "FFFFFF", "\r", "\n", " ", "\r\n", "ID", "STREAMS", "--", ","};
    for (int round = 0; round < 2000; ++round) {
        SeedLinkSession session(id, ring, {}, 0);
        std::string input;
        for (int i = 0, parts = static_cast<int>(random() % 40); i < parts; ++i)
            input += random() % 3 == 0 ? std::string(1, static_cast<char>(random() % 256))
                                       : std::string(words[random() % std::size(words)]);
        session.receive(input, 0, 0);
        session.pump();
        ASSERT_LE(session.output().size(), SessionLimits{}.max_output + 64 * packet_length) << input;
    }
}

// A connection whose peer takes at most `room` bytes until told otherwise.
class FakeConnection : public tw::platform::TcpConnection {
public:
    long receive(char* data, std::size_t size) override {
        const std::size_t n = inbound.copy(data, size);
        inbound.erase(0, n);
        return static_cast<long>(n);
    }
    long send(const char* data, std::size_t size) override {
        const std::size_t n = std::min(size, room);
        sent.append(data, n);
        room -= n;
        return static_cast<long>(n);
    }
    void watch_writable(bool on) override { writable_watched = on; }
    std::string peer() const override { return "127.0.0.1:1"; }
    std::string inbound, sent;
    std::size_t room = 1 << 30;
    bool writable_watched = false;
};

class FakeListener : public tw::platform::TcpListener {
public:
    bool listen(const std::string&, int, std::string*) override { return true; }
    int port() const override { return 18000; }
};

TEST(Server, AStuckClientHoldsUpNoOneAndTooManyAreTurnedAway) {
    RecordRing ring(64);
    tw::fakes::FakeClock clock;
    FakeListener listener;
    SessionLimits limits;
    limits.max_queued = 4 * packet_length;
    SeedLinkServer server(id, ring, listener, clock, limits);

    auto connect = [&](const std::string& commands, std::size_t room) -> FakeConnection* {
        auto link = std::make_unique<FakeConnection>();
        FakeConnection* raw = link.get();
        raw->inbound = commands, raw->room = room;
        const std::size_t before = server.clients();
        listener.on_connection(std::move(link));
        if (server.clients() == before) return nullptr;  // turned away and closed
        raw->on_readable();
        return raw;
    };
    FakeConnection* stuck = connect("DATA\r\n", 0);
    FakeConnection* live = connect("DATA\r\n", 1 << 30);
    for (int i = 0; i < 40; ++i) {
        Record r;
        r.channel = 1, ring.push(r), server.records_added();
    }
    EXPECT_EQ(sequences(live->sent).size(), 40u);
    EXPECT_TRUE(stuck->writable_watched);
    EXPECT_EQ(server.clients(), 2u);
    // Once the ring has dropped what the stuck one waits for, it goes.
    for (int i = 0; i < 64; ++i) ring.push(Record{});
    server.records_added();
    EXPECT_EQ(server.clients(), 1u);

    for (std::size_t i = 0; i < SeedLinkServer::max_clients + 5; ++i) connect("", 1 << 20);
    EXPECT_EQ(server.clients(), SeedLinkServer::max_clients);
    EXPECT_EQ(server.refused(), 6u);
}

}  // namespace
