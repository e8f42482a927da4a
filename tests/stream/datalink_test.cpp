// The DataLink feed: the protocol session on its own, the position file,
// and the feed over a fake connection to a scripted ring server, with the
// ring and the day archive of real records.

#include "fakes/fake_platform.h"
#include "fakes/test_files.h"
#include "stream/datalink_client.h"
#include "stream/record_packer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <numeric>

namespace {

using namespace tw::stream;
using tw::testing::TestFolder;

std::string packet(const std::string& header, const std::string& data = {}) {
    return "DL" + std::string(1, static_cast<char>(header.size())) + header + data;
}

// The headers (and data sizes) of the packets in `bytes`.
std::vector<std::string> headers_of(std::string bytes) {
    std::vector<std::string> out;
    while (bytes.size() >= 3) {
        const auto length = static_cast<std::size_t>(static_cast<unsigned char>(bytes[2]));
        const std::string header = bytes.substr(3, length);
        std::size_t size = 0;
        if (header.starts_with("WRITE ")) size = std::stoul(header.substr(header.rfind(' ') + 1));
        out.push_back(header);
        bytes.erase(0, 3 + length + size);
    }
    return out;
}

const std::string ringserver_id = "ID DataLink v1.1 (RingServer/4.5.3) :: DLPROTO:1.1 PACKETSIZE:512 WRITE";

TEST(DataLinkSession, TakesOnlyAServerThatLetsTheStationWriteRecords) {
    const struct { std::string reply; bool ready; const char* failure; } cases[] = {
        {packet(ringserver_id), true, ""},
        {packet("ID DataLink 2008.196 :: DLPROTO:1.0 PACKETSIZE:512 WRITE"), true, ""},
        {packet("ID DataLink v1.1 (RingServer/4.5.3) :: DLPROTO:1.1 PACKETSIZE:512"), false, "does not let this station write"},
        {packet("ID DataLink v1.1 :: PACKETSIZE:256 WRITE"), false, "at most 256 bytes"},
        {packet("ID SeedLink v3.1"), false, "did not answer as a DataLink server"},
        {"SeedLink v3.1 (2020)\r\n", false, "not DataLink packets"},
        {packet("ERROR 0 12", "go away, you"), false, "did not answer as a DataLink server"},
        {packet("OK 0 99999999"), false, "cannot take"},
    };
    for (const auto& c : cases) {
        DataLinkSession session("terrawave:me:1:Linux-x86_64", 0);
        EXPECT_EQ(headers_of(std::string(session.output())), std::vector<std::string>{"ID terrawave:me:1:Linux-x86_64"});
        // Byte by byte: a reply split anywhere is the same reply.
        for (const char b : c.reply) session.receive(std::string_view(&b, 1), 0);
        EXPECT_EQ(session.phase() == DataLinkSession::Phase::ready, c.ready) << c.reply;
        EXPECT_NE(session.failure().find(c.failure), std::string::npos) << c.reply << ": " << session.failure();
    }
    DataLinkSession session("x", 0);
    session.receive(packet(ringserver_id), 0);
    EXPECT_EQ(session.server_id(), "DataLink v1.1 (RingServer/4.5.3)");
    EXPECT_EQ(session.packet_size(), 512);
}

Record record_at(std::int64_t start_us, char orientation = 'Z', const char* location = "  ") {
    Record r;
    r.location = {location[0], location[1]};
    r.seed_channel = {'H', 'H', orientation};
    r.start_us = start_us, r.end_us = start_us + 990000;
    return r;
}

TEST(DataLinkSession, WritesRecordsWithTimesAndTakesRepliesInOrder) {
    EXPECT_EQ(DataLinkSession::stream_id("XX", "STA", record_at(0)), "XX_STA__HHZ/MSEED");
    EXPECT_EQ(DataLinkSession::stream_id("XX", "STA", record_at(0, 'N', "00")), "XX_STA_00_HHN/MSEED");
    DataLinkSession session("x", 0);
    session.consumed(session.output().size());
    session.receive(packet(ringserver_id), 0);
    std::size_t written = 0;
    while (session.can_write()) session.write(record_at(1700000000000000 + written++ * 1000000), "XX_STA__HHZ/MSEED", 0);
    EXPECT_EQ(written, DataLinkSession::max_in_flight);
    const auto headers = headers_of(std::string(session.output()));
    ASSERT_EQ(headers.size(), written);
    EXPECT_EQ(headers[1], "WRITE XX_STA__HHZ/MSEED 1700000001000000 1700000001990000 A 512");
    EXPECT_EQ(session.output().size(), written * (3 + headers[1].size() + 512));
    session.receive(packet("OK 1 0") + packet("OK 2 20", "Packet 2 written :-)") + packet("OK 3 0").substr(0, 5), 100);
    EXPECT_EQ(session.take_acknowledged(), 2u);  // the third is still incomplete
    EXPECT_EQ(session.in_flight(), written - 2);
    // A refusal ends the session with the server's words.
    session.receive(packet("OK 3 0").substr(5) + packet("ERROR 0 46", "Write permission not granted, no soup for you!").substr(0, 40), 100);
    session.receive(packet("ERROR 0 46", "Write permission not granted, no soup for you!").substr(40), 100);
    EXPECT_EQ(session.take_acknowledged(), 1u);
    EXPECT_TRUE(session.refused());
    EXPECT_EQ(session.failure(), "the server refused a record: Write permission not granted, no soup for you!");
    // A server that owes replies and says nothing is given up after a minute.
    DataLinkSession silent("x", 0);
    silent.check_timeout(DataLinkSession::reply_timeout_ms - 1);
    EXPECT_FALSE(silent.failed());
    silent.check_timeout(DataLinkSession::reply_timeout_ms);
    EXPECT_EQ(silent.failure(), "no answer from the server for 60 s");
    DataLinkSession extra("x", 0);
    extra.receive(packet(ringserver_id) + packet("OK 1 0"), 0);
    EXPECT_NE(extra.failure().find("did not ask for"), std::string::npos);
}

TEST(DataLinkState, ReadsItsOwnFileOnlyWhole) {
    DataLinkState state{"XX.STA", "ring:16000", {{"XX_STA__HHZ/MSEED", 1700000000000000}, {"XX_STA__HHN/MSEED", 5}}};
    const std::string text = format_datalink_state(state);
    EXPECT_EQ(text, "TERRAWAVE DataLink positions\r\nstation XX.STA\r\nserver ring:16000\r\n"
                    "XX_STA__HHN/MSEED 5\r\nXX_STA__HHZ/MSEED 1700000000000000\r\nend 2\r\n");
    DataLinkState read;
    ASSERT_EQ(parse_datalink_state(text, "XX.STA", "ring:16000", read), StateFileStatus::ok);
    EXPECT_EQ(read.acknowledged, state.acknowledged);
    const std::pair<std::string, StateFileStatus> cases[] = {
        {text.substr(0, text.size() - 9), StateFileStatus::damaged},   // cut short
        {text.substr(0, text.size() - 1), StateFileStatus::damaged},   // no last line end
        {std::string(text).replace(text.find("end 2"), 5, "end 3"), StateFileStatus::damaged},
        {std::string(text).replace(text.find(" 5\r"), 2, " x"), StateFileStatus::damaged},
        {std::string(text).replace(text.find("/MSEED 5"), 6, "/OTHER"), StateFileStatus::damaged},
        {std::string(200, '\0'), StateFileStatus::damaged},
        {std::string(text).replace(text.find("XX.STA"), 6, "XX.OTH"), StateFileStatus::other_station},
        {std::string(text).replace(text.find("ring:"), 4, "else"), StateFileStatus::other_server},
    };
    for (const auto& [bad, status] : cases) {
        EXPECT_EQ(parse_datalink_state(bad, "XX.STA", "ring:16000", read), status) << bad;
        EXPECT_TRUE(read.acknowledged.empty());
    }
}

// ---- The feed against a scripted server -------------------------------

class FakeLink : public tw::platform::TcpConnection {
public:
    long receive(char* data, std::size_t size) override {
        if (inbound.empty() && closed) return -1;
        const std::size_t n = inbound.copy(data, size);
        inbound.erase(0, n);
        return static_cast<long>(n);
    }
    long send(const char* data, std::size_t size) override {
        sent.append(data, size);
        return static_cast<long>(size);
    }
    void watch_writable(bool) override {}
    std::string peer() const override { return "127.0.0.1:16000"; }
    std::string inbound, sent;
    bool closed = false;
};

class FakeConnector : public tw::platform::TcpConnector {
public:
    void connect(const std::string&, int, Done done) override { pending = std::move(done); }
    void cancel() override { pending = nullptr; }
    Done pending;
};

// A ring server in the test: answers ID, keeps every WRITE it acknowledges.
struct Server {
    struct Written {
        std::string id;
        std::int64_t start_us;
    };
    FakeLink* link = nullptr;
    std::vector<Written> kept;
    std::size_t refuse_after = SIZE_MAX;  // ERROR for the WRITE after this many
    bool answer = true;

    void accept(FakeConnector& connector) {
        auto fresh = std::make_unique<FakeLink>();
        link = fresh.get();
        auto done = std::move(connector.pending);
        done(std::move(fresh), {});
    }
    // Replies to what the station sent; false when there was nothing.
    bool serve() {
        if (!link || !answer || link->sent.empty()) return false;
        std::string& bytes = link->sent;
        while (bytes.size() >= 3) {
            const auto length = static_cast<std::size_t>(static_cast<unsigned char>(bytes[2]));
            const std::string header = bytes.substr(3, length);
            if (header.starts_with("ID ")) {
                link->inbound += packet(ringserver_id);
                bytes.erase(0, 3 + length);
                continue;
            }
            const std::size_t size = std::stoul(header.substr(header.rfind(' ') + 1));
            if (bytes.size() < 3 + length + size) break;
            const auto record = record_from_bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 3 + length);
            bytes.erase(0, 3 + length + size);
            if (kept.size() == refuse_after) {
                refuse_after = SIZE_MAX;
                link->inbound += packet("ERROR 0 14", "Error, no room");
                link->closed = true;
                break;
            }
            EXPECT_TRUE(record.has_value());
            kept.push_back({header.substr(6, header.find(' ', 6) - 6), record ? record->start_us : -1});
            link->inbound += packet("OK " + std::to_string(kept.size()) + " 0");
        }
        FakeLink* current = link;
        if (current->closed) link = nullptr;  // the station drops it
        current->on_readable();
        return true;
    }
    void run() {
        while (serve()) {
        }
    }
};

// A station making real records: two streams of one record a second,
// into the ring and the day archive.
struct Feed {
    explicit Feed(const TestFolder& folder, std::size_t ring_capacity = 1000)
        : ring(ring_capacity), archive(folder / "sds", {"XX", "STA", ""}, 1000, nullptr) {
        clock.set(2024, 1, 1, 0, 0, 0);
        for (const char axis : {'Z', 'N'})
            packers.push_back(std::make_unique<RecordPacker>("XX", "STA", "", std::string("HH") + axis, 1,
                                                             [this](const Record& r) { publish(r); }));
    }
    void publish(const Record& r) {
        ring.push(r);
        archive.write(r, 0);
        if (client) client->records_added();
    }
    // `n` more seconds of both streams: one record each.
    void make(int n) {
        for (int s = 0; s < n; ++s, ++second) {
            for (auto& p : packers) {
                for (int i = 0; i < 10; ++i)
                    p->add(second * 10 + i, civil_time_us(2024, 1, 1, 0, 0, 0) + second * 1000000LL + i * 100000, 10, 0);
                p->flush();
            }
        }
    }
    std::unique_ptr<DataLinkClient> open(const std::filesystem::path& state_file, bool with_archive = true) {
        return std::make_unique<DataLinkClient>(DataLinkOptions{"ring", 16000, state_file, "x"},
                                                StreamCodes{"XX", "STA", ""}, ring,
                                                with_archive ? &archive : nullptr, connector, clock,
                                                [this](const std::string& line) { events.push_back(line); });
    }
    void tick_for(int seconds) {
        for (int i = 0; i < seconds; ++i) clock.advance_ms(1000), client->tick();
    }

    tw::fakes::FakeClock clock;
    RecordRing ring;
    DayArchive archive;
    std::vector<std::unique_ptr<RecordPacker>> packers;
    FakeConnector connector;
    std::unique_ptr<DataLinkClient> client;
    std::vector<std::string> events;
    int second = 0;
};

// Every second of both streams made so far, each once and in order.
void expect_each_once(const std::vector<Server::Written>& kept, int seconds) {
    std::map<std::string, std::vector<std::int64_t>> by_stream;
    for (const auto& w : kept) by_stream[w.id].push_back((w.start_us - civil_time_us(2024, 1, 1, 0, 0, 0)) / 1000000);
    ASSERT_EQ(by_stream.size(), 2u);
    for (const auto& [id, got] : by_stream) {
        std::vector<std::int64_t> all(static_cast<std::size_t>(seconds));
        std::iota(all.begin(), all.end(), 0);
        EXPECT_EQ(got, all) << id;
    }
}

TEST(DataLinkFeed, ResendsWhatWasNotAcknowledgedAfterADropAndBacksOffQuietly) {
    TestFolder folder;
    Feed feed(folder);
    Server server;
    feed.client = feed.open(folder / "datalink.pos");
    feed.client->start();
    feed.make(3);  // before the server answers: they wait in the ring
    server.accept(feed.connector);
    server.run();
    feed.make(2);
    server.run();
    EXPECT_TRUE(feed.client->status().up);
    // The server refuses the second record of the next three seconds and
    // closes; the next attempts fail.
    server.refuse_after = server.kept.size() + 1;
    feed.make(3);
    server.run();
    EXPECT_FALSE(feed.client->status().up);
    std::vector<int> waits;  // seconds before each attempt
    for (int attempt = 0; attempt < 5; ++attempt) {
        int waited = 0;
        while (!feed.connector.pending && waited < 120) feed.tick_for(1), ++waited;
        waits.push_back(waited);
        auto done = std::move(feed.connector.pending);
        done(nullptr, "cannot connect to ring:16000: Connection refused");
    }
    EXPECT_EQ(waits, (std::vector<int>{1, 2, 4, 8, 16}));
    feed.make(2);
    while (!feed.connector.pending) feed.tick_for(1);
    server.accept(feed.connector);
    server.run();
    expect_each_once(server.kept, 10);
    // The outage and the recovery are named once, not each try.
    ASSERT_EQ(feed.events.size(), 3u);
    EXPECT_TRUE(feed.events[1].starts_with("DataLink: ring:16000: the server refused a record: Error, no room;"));
    EXPECT_EQ(feed.client->positions().acknowledged.at("XX_STA__HHN/MSEED"), civil_time_us(2024, 1, 1, 0, 0, 9));
}

TEST(DataLinkFeed, CatchesUpFromTheArchiveAfterAnOutageLongerThanTheRing) {
    TestFolder folder;
    Server server;
    Feed feed(folder, 16);  // 8 seconds of both streams
    feed.client = feed.open(folder / "datalink.pos");
    feed.client->start();
    server.accept(feed.connector);
    feed.make(4);
    server.run();
    server.answer = false;  // the server hangs
    feed.make(30);
    feed.tick_for(61);      // ...and is given up after a minute
    EXPECT_FALSE(feed.client->status().up);
    EXPECT_GE(feed.client->status().behind_us, 29 * 1000000LL);
    server.answer = true;
    server.accept(feed.connector);
    server.run();
    EXPECT_FALSE(feed.client->status().from_archive);
    expect_each_once(server.kept, 34);
}

TEST(DataLinkFeed, AForeignOrDamagedPositionFileIsNamedAndWrittenAnew) {
    TestFolder folder;
    const auto file = folder / "datalink.pos";
    for (const std::string& text : {std::string("garbage\r\n"),
                                   format_datalink_state({"XX.OTHER", "ring:16000", {{"XX_OTHER__HHZ/MSEED", 1}}})}) {
        std::ofstream(file, std::ios::binary) << text;
        Feed feed(folder);
        feed.client = feed.open(file);
        feed.client->start();
        ASSERT_EQ(feed.events.size(), 1u);
        EXPECT_TRUE(feed.events[0].starts_with("DataLink: " + file.string())) << feed.events[0];
        EXPECT_NE(feed.events[0].find("sending starts from the records held in memory"), std::string::npos);
        EXPECT_EQ(tw::testing::read_file(file), format_datalink_state({"XX.STA", "ring:16000", {}}));
    }
}

}  // namespace
