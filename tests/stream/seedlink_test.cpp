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

    // Protocol 4.0: decimal 64-bit numbers, ISO times, NET_STA, stream ids.
    const std::pair<const char*, ParseStatus> v4[] = {
        {"DATA 18446744073709551615", ok}, {"DATA 18446744073709551616", bad_arguments}, {"DATA 1A", bad_arguments},
        {"DATA ALL 2024-01-01T00:00:00Z", ok}, {"DATA 5 2024-01-02T00:00:00.5Z 2024-01-01", bad_arguments},
        {"DATA ALL 2024-13-01", bad_arguments}, {"SELECT", bad_arguments}, {"SELECT *_H_H_?.2D", ok},
        {"SELECT BHZ:3", bad_arguments}, {"SELECT !BHZ:native", bad_arguments}, {"STATION XX_*", ok},
        {"STATION XX/STA", bad_arguments}, {"SLPROTO", bad_arguments}, {"ENDFETCH", ok}, {"INFO STREAMS XX_* *Z", ok},
    };
    for (const auto& [line, status] : v4) EXPECT_EQ(parse_command(line, 4).status, status) << line;
    EXPECT_EQ(parse_command("DATA 5 2024-01-02T03:04:05.25Z", 4).command.begin_us,
              civil_time_us(2024, 1, 2, 3, 4, 5, 250000));
    // Selectors of the older form as the reference library turns them.
    const std::pair<const char*, const char*> forms[] = {{"BHZ", "*_B_H_Z"}, {"--BHZ", "_B_H_Z"}, {"00BHZ", "00_B_H_Z"}, {"B_H_?", "*_B_H_?"}, {"_B_H_Z", "_B_H_Z"}};
    for (const auto& [old_form, pattern] : forms)
        EXPECT_EQ(parse_command(std::string("SELECT ") + old_form, 4).command.selector->stream_pattern, pattern);
    const struct { const char* pattern; const char* text; bool prefix, match; } globs[] = {
        {"*_H_H_Z", "_H_H_Z", false, true}, {"_*Z", "00_B_H_Z", false, false}, {"XX_*", "XX_STA", false, true},
        {"2", "2D", true, true}, {"D", "2D", true, false}, {"*", "", false, true}, {"?", "", false, false},
    };
    for (const auto& g : globs) EXPECT_EQ(glob_matches(g.pattern, g.text, g.prefix), g.match) << g.pattern << " " << g.text;
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

const ServerIdentity id{"SeedLink v4.0 (TERRAWAVE V.02.22)", "TERRAWAVE station XX.STA", "", 0, {"XX", "STA", ""}, {}};

// The sequence numbers of the data packets in `out`, and what follows them:
// "SL" packets of protocol 3.1 and "SE" packets of 4.0 (station XX_STA,
// miniSEED 2 data).
std::vector<std::uint64_t> sequences(std::string_view out, std::string* rest = nullptr) {
    std::vector<std::uint64_t> seen;
    for (;;) {
        if (out.size() >= packet_length && out.substr(0, 2) == "SL" && out.substr(0, 6) != "SLINFO") {
            seen.push_back(std::stoull(std::string(out.substr(2, 6)), nullptr, 16));
            out.remove_prefix(packet_length);
        } else if (out.size() >= 17 && out.substr(0, 4) == "SE2D") {
            std::uint64_t length = 0, number = 0;
            for (int i = 0; i < 4; ++i) length |= std::uint64_t(std::uint8_t(out[4 + i])) << (8 * i);
            for (int i = 0; i < 8; ++i) number |= std::uint64_t(std::uint8_t(out[8 + i])) << (8 * i);
            const std::size_t id = std::uint8_t(out[16]);
            EXPECT_EQ(length, record_length);
            EXPECT_EQ(out.substr(17, id), "XX_STA");
            seen.push_back(number);
            out.remove_prefix(17 + id + length);
        } else {
            break;
        }
    }
    if (rest) *rest = std::string(out);
    return seen;
}

// The XML document carried by the INFO packets of protocol 3.1 in `out`.
std::string info_xml(const std::string& out) {
    std::string xml;
    for (auto at = out.find("SLINFO"); at != std::string::npos; at = out.find("SLINFO", at + 8)) {
        const auto* r = reinterpret_cast<const unsigned char*>(out.data() + at + 8);
        xml.append(out, at + 8 + 56, static_cast<std::size_t>(r[30] << 8 | r[31]));
    }
    return xml;
}

std::string talk(SeedLinkSession& s, const std::string& lines) {
    s.receive(lines, 0, 0), s.pump();
    std::string out(s.output());
    s.consumed(out.size());
    return out;
}

TEST(Session, StartsWhereAskedFiltersAndEnds) {
    const RecordRing ring = ring_of(10);
    const struct { const char* commands; std::vector<std::uint64_t> expected; const char* after; } cases[] = {
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
    EXPECT_TRUE(out.starts_with("SeedLink v4.0 (TERRAWAVE V.02.22) :: SLPROTO:4.0 SLPROTO:3.1 CAP EXTREPLY"));
    const std::string xml = info_xml(out);
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
    // Silent from the start: gone after the first command's time-out; one
    // that spoke may stay in the handshake longer.
    SeedLinkSession silent(id, ring, limits, 0), spoke(id, ring, limits, 0);
    talk(spoke, "HELLO\r\n");
    silent.check_timeout(limits.first_command_timeout_ms), spoke.check_timeout(limits.first_command_timeout_ms);
    EXPECT_TRUE(silent.aborted());
    EXPECT_FALSE(spoke.aborted());
    spoke.check_timeout(limits.handshake_timeout_ms);
    EXPECT_TRUE(spoke.aborted());
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

// What the reference client library sends in each of its modes, as it
// sends it (line ends and the pipelined commands of 4.0 included), and
// what it must read back before the data.
TEST(ReferenceClient, EveryModeGoesByteForByteFromHelloToData) {
    const RecordRing ring = ring_of(10);
    const std::string hello = "SeedLink v4.0 (TERRAWAVE V.02.22) :: " + std::string(hello_capabilities()) +
                              "\r\nTERRAWAVE station XX.STA\r\n";
    using Steps = std::vector<std::pair<std::string, std::string>>;
    const struct { const char* mode; Steps steps; std::vector<std::uint64_t> data; const char* after; } modes[] = {
        {"4.0 (the library's choice with this server)",
         {{"HELLO\r\n", hello}, {"SLPROTO 4.0\r\n", "OK\r\n"}, {"USERAGENT slinktool/5.0 libslink/4.2.0\r\n", "OK\r\n"},
          {"STATION XX_STA\rSELECT *_H_H_Z.D\rDATA 3\r", "OK\r\nOK\r\nOK\r\n"}, {"END\r\n", ""}},
         {4, 6, 8}, ""},
        {"4.0 dial-up of a time window",
         {{"HELLO\r\n", hello}, {"SLPROTO 4.0\r\n", "OK\r\n"}, {"USERAGENT libslink/4.2.0\r\n", "OK\r\n"},
          {"STATION XX_STA\rDATA ALL 2024-01-01T00:00:02Z 2024-01-01T00:00:04Z\r", "OK\r\nOK\r\n"}, {"ENDFETCH\r\n", ""}},
         {2, 3}, "END"},
        {"3.1 multi-station",
         {{"HELLO\r\n", hello}, {"CAPABILITIES EXTREPLY\r\n", "OK\r\n"}, {"STATION STA XX\r\n", "OK\r\n"},
          {"SELECT HHN.D\r\n", "OK\r\n"}, {"DATA 5\r\n", "OK\r\n"}, {"END\r\n", ""}},
         {5, 7, 9}, ""},
        {"3.1 uni-station",
         {{"HELLO\r\n", hello}, {"CAPABILITIES EXTREPLY\r\n", "OK\r\n"}, {"SELECT HHZ\r\n", "OK\r\n"}, {"DATA 6\r\n", ""}},
         {6, 8}, ""},
        {"3.1 batch, dial-up",
         {{"HELLO\r\n", hello}, {"CAPABILITIES EXTREPLY\r\n", "OK\r\n"}, {"BATCH\r\n", "OK\r\n"},
          {"STATION STA XX\r\n", ""}, {"SELECT HHZ\r\n", ""}, {"FETCH 7\r\n", ""}, {"END\r\n", ""}},
         {8}, "END"},
        {"3.1 time window",
         {{"HELLO\r\n", hello}, {"CAPABILITIES EXTREPLY\r\n", "OK\r\n"}, {"STATION STA XX\r\n", "OK\r\n"},
          {"TIME 2024,01,01,00,00,07\r\n", "OK\r\n"}, {"END\r\n", ""}},
         {7, 8, 9}, ""},
    };
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        SeedLinkSession session(id, ring, {}, 0);
        std::string out;
        for (const auto& [sent, answer] : m.steps) {
            out = talk(session, sent);
            if (&sent != &m.steps.back().first) {
                EXPECT_EQ(out, answer) << sent;
            }
        }
        std::string rest;
        EXPECT_EQ(sequences(out, &rest), m.data);
        EXPECT_EQ(rest, m.after);
    }
}

TEST(Session, RefusesAsEachProtocolSaysAndKeepsTheRingsBounds) {
    const RecordRing ring = ring_of(10);
    const struct { const char* commands; const char* answers; } cases[] = {
        // 3.1 without EXTREPLY: a bare ERROR; with it, the reason after a CR.
        {"STATION NOPE XX\r\nFOO\r\n", "ERROR\r\nERROR\r\n"},
        {"CAPABILITIES EXTREPLY SLPROTO:3.1\r\nSTATION NOPE XX\r\nUSERAGENT x/1\r\n",
         "OK\r\nERROR\rARGUMENTS no such station\r\nERROR\rUNSUPPORTED a command of protocol 4.0: send SLPROTO 4.0 first\r\n"},
        // Mixed orders: 4.0 comes first or not at all; 3.1 commands are gone in 4.0.
        {"STATION STA XX\r\nSLPROTO 4.0\r\n", "OK\r\nERROR\r\n"},
        {"SLPROTO 4.0\r\nCAPABILITIES EXTREPLY\r\nSELECT *\r\nTIME 2024,1,1,0,0,0\r\nAUTH USERPASS a b\r\nSTATION XX_NONE\r\nSTATION YY_*\r\n",
         "OK\r\nERROR UNSUPPORTED a command of protocol 3.1 only\r\nERROR UNEXPECTED SELECT follows STATION\r\n"
         "ERROR UNSUPPORTED a command of protocol 3.1 only\r\nERROR UNSUPPORTED no authentication: every stream is open\r\n"
         "ERROR ARGUMENTS no station XX_NONE here; INFO STATIONS lists it\r\nOK\r\n"},
        {"SLPROTO 3.1\r\nSLPROTO 5.0\r\n", "OK\r\nERROR\r\n"},
    };
    for (const auto& c : cases) {
        SeedLinkSession session(id, ring, {}, 0);
        EXPECT_EQ(talk(session, c.commands), c.answers) << c.commands;
    }
    // Sequence numbers beyond a ring that holds 20..29: gone already (both
    // widths) or still to come (4.0): the oldest held, or the next one.
    const RecordRing wrapped = ring_of(30, 10);
    const std::vector<std::uint64_t> held{20, 21, 22, 23, 24, 25, 26, 27, 28, 29};
    const struct { int protocol; const char* commands; std::vector<std::uint64_t> data; } beyond[] = {
        {3, "DATA FFFFFF\r\n", held}, {3, "DATA 000005\r\n", held}, {3, "DATA 00001C\r\n", {28, 29}},
        {4, "STATION *\rDATA 1\rEND\r", held}, {4, "STATION *\rDATA 27\rEND\r", {27, 28, 29}},
        {4, "STATION *\rDATA 18446744073709551615\rEND\r", {}},
    };
    for (const auto& b : beyond) {
        SeedLinkSession session(id, wrapped, {}, 0, b.protocol);
        const std::string out = talk(session, b.commands);  // the packets after any answers
        EXPECT_EQ(sequences(out.substr(std::min(out.size(), out.find('S')))), b.data) << b.commands;
    }
}

TEST(Session, InfoAnswersEveryLevelWellFormed) {
    RecordRing ring = ring_of(4, 8);
    ServerIdentity with_clients = id;
    with_clients.connections = [] { return std::vector<ConnectionInfo>{{"127.0.0.1:4000", "tcp", 0, 3, "", true, false, 3, 2}}; };
    SeedLinkSession v4(with_clients, ring, {}, 0, 4);
    const std::string out = talk(v4, "INFO STREAMS XX_* *_H_H_Z\r\nINFO CONNECTIONS\r\nINFO GAPS\r\n");
    // Three JSON packets, the last an error (GAPS is gone in 4.0).
    std::vector<std::string> documents;
    for (std::string_view rest = out; rest.size() >= 17 && rest.substr(0, 3) == "SEJ";) {
        std::uint32_t length = 0;
        for (int i = 0; i < 4; ++i) length |= std::uint32_t(std::uint8_t(rest[4 + i])) << (8 * i);
        documents.emplace_back(rest.substr(17, length));
        documents.back().insert(0, 1, rest[3]);
        rest.remove_prefix(17 + length);
    }
    ASSERT_EQ(documents.size(), 3u) << out;
    EXPECT_NE(documents[0].find(R"("station":[{"id":"XX_STA","description":"","start_seq":0,"end_seq":4,"backfill":0,"stream":[{"id":"_H_H_Z","format":"2","subformat":"D","origin":"native","start_time":"2024-01-01T00:00:00.000000Z")"), std::string::npos) << documents[0];
    EXPECT_EQ(documents[0].find("_H_H_N"), std::string::npos);
    EXPECT_NE(documents[1].find(R"("connections":{"count":1,"client":[{"host":"127.0.0.1","ip_address":"127.0.0.1","client_port":"4000","type":"SeedLink 3.1")"), std::string::npos) << documents[1];
    EXPECT_TRUE(documents[2].starts_with("E{") && documents[2].find(R"("error":{"code":"ARGUMENTS")") != std::string::npos) << documents[2];

    // 3.1: CONNECTIONS and GAPS are XML documents like the others.
    for (const char* level : {"CONNECTIONS", "GAPS"}) {
        SeedLinkSession v3(with_clients, ring, {}, 0);
        const std::string xml = info_xml(talk(v3, std::string("INFO ") + level + "\r\n"));
        EXPECT_TRUE(xml.ends_with(" </station>\n</seedlink>\n")) << xml;
        EXPECT_NE(xml.find(std::string(level) == "GAPS" ? "gap_check=\"enabled\"" : "<connection host=\"127.0.0.1\" port=\"4000\""), std::string::npos) << xml;
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
    std::string peer() const override { return address + ":1"; }
    std::string inbound, sent, address = "127.0.0.1";
    std::size_t room = 1 << 30;
    bool writable_watched = false;
};

class FakeListener : public tw::platform::TcpListener {
public:
    bool listen(const std::string&, int, std::string*) override { return true; }
    int port() const override { return 18000; }
};

// A server on a ring of 64 records and a fake clock.
class ServerTest : public ::testing::Test {
protected:
    void start(const ServerLimits& limits) { server = std::make_unique<SeedLinkServer>(id, ring, listener, clock, limits); }
    // A peer at `address` that sends `commands` and takes `room` bytes; null when turned away.
    FakeConnection* connect(const std::string& commands, std::size_t room = 1 << 30, const std::string& address = "127.0.0.1") {
        auto link = std::make_unique<FakeConnection>();
        FakeConnection* raw = link.get();
        raw->inbound = commands, raw->room = room, raw->address = address;
        const std::size_t before = server->clients();
        listener.on_connection(std::move(link));
        if (server->clients() == before) return nullptr;  // turned away and closed
        if (!commands.empty()) raw->on_readable();
        return raw;
    }
    RecordRing ring{64};
    tw::fakes::FakeClock clock;
    FakeListener listener;
    std::unique_ptr<SeedLinkServer> server;
};

TEST_F(ServerTest, AStuckClientHoldsUpNoOneAndTooManyAreTurnedAway) {
    ServerLimits limits;
    limits.session.max_queued = 4 * packet_length;
    limits.max_per_address = 1000;
    start(limits);
    FakeConnection* stuck = connect("DATA\r\n", 0);
    FakeConnection* live = connect("DATA\r\n", 1 << 30);
    for (int i = 0; i < 40; ++i) {
        Record r;
        r.channel = 1, ring.push(r), server->records_added();
    }
    EXPECT_EQ(sequences(live->sent).size(), 40u);
    EXPECT_TRUE(stuck->writable_watched);
    EXPECT_EQ(server->clients(), 2u);
    // Once the ring has dropped what the stuck one waits for, it goes.
    for (int i = 0; i < 64; ++i) ring.push(Record{});
    server->records_added();
    EXPECT_EQ(server->clients(), 1u);

    for (std::size_t i = 0; i < ServerLimits{}.max_clients + 5; ++i) connect("", 1 << 20);
    EXPECT_EQ(server->clients(), ServerLimits{}.max_clients);
    EXPECT_EQ(server->refused(), 6u);
}

TEST_F(ServerTest, SilentSocketsFromOneAddressCannotLockOthersOut) {
    ServerLimits limits;
    limits.max_per_address = 3;
    start(limits);
    std::vector<std::string> notices;
    server->on_notice = [&](const std::string& line) { notices.push_back(line); };
    // Silent sockets from one address take three places, no more; another
    // address still gets in.
    for (int i = 0; i < 64; ++i) connect("", 1 << 30, "10.0.0.66");
    EXPECT_EQ(server->clients(), 3u);
    ASSERT_TRUE(connect("HELLO\r\n", 1 << 30, "10.0.0.7"));
    clock.advance_ms(limits.session.first_command_timeout_ms);
    server->tick();
    // The silent ones are gone; the one that spoke stays. All of it in one
    // notice, and the next not before a minute has passed.
    EXPECT_EQ(server->clients(), 1u);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "connections 3 disconnected: no command within 10 s; 61 refused: 3 from one address (most from 10.0.0.66)");
    for (int i = 0; i < 5; ++i) connect("", 1 << 30, "10.0.0.66");
    clock.advance_ms(SeedLinkServer::notice_interval_ms - 1);
    server->tick();
    EXPECT_EQ(notices.size(), 1u);
    clock.advance_ms(1);
    server->tick();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1], "connections 3 disconnected: no command within 10 s; 2 refused: 3 from one address (most from 10.0.0.66)");
}

}  // namespace
