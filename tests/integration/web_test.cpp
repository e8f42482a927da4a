// The web services of terrawave --headless against the simulated board:
// StationXML of every level against the schema, dataselect against the day
// archive and the board's record, the timing of the records while the
// board's receiver is locked and after it is lost (a board without one:
// the stream test), and bad requests that leave acquisition alone.

#include "simulated_station.h"

#include "../stream/unpacked_record.h"
#include "config/time_stamp.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace tw::integration;
using tw::stream::check::Unpacked;
using tw::stream::check::unpack;

struct Answer {
    int status = 0;
    std::string body;
};

// One request on its own connection (closed after the answer).
Answer http_get(int port, const std::string& target, const std::string& method = "GET") {
    Client client(port);
    client.send(method + " " + target + " HTTP/1.1\r\nHost: station\r\nConnection: close\r\n\r\n");
    const std::string all = client.take(std::string::npos);
    const auto end = all.find("\r\n\r\n");
    if (all.size() < 12 || end == std::string::npos) return {};
    return {std::atoi(all.c_str() + 9), all.substr(end + 4)};
}

std::int64_t us_of(const std::string& stamp) { return *tw::config::stamp_seconds(stamp) * 1000000LL; }

class WebTest : public StationTest {
protected:
    // Channel 1 at 20 samples per second on Z with a velocity sensor and
    // its pendulum, channel 2 at 5 on N; 3 and 4 off.
    void make_station() {
        edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "COO=", "14.39N 12.33E"},
                       {0, "ELE=", "350"}, {1, "SPS=", " 8 "}, {1, "VAX=", " 3 "}, {1, "STY=", " 1 "},
                       {1, "SSI=", " 28.8 "}, {1, "AGF=", " 10 "}, {1, "ADS=", " 16 "}, {1, "ADF=", " 5 "},
                       {1, "MSU=", " 1 "}, {2, "SPS=", " 6 "}, {2, "VAX=", " 1 "}, {3, "SPS=", " 0 "},
                       {4, "SPS=", " 0 "}});
        std::ofstream(station() / "terrawv.ini", std::ios::app | std::ios::binary)
            << "[SENSOR]\r\nPERIOD1=1\r\nDAMPING1=0.707\r\n";
    }
    // Every record of a day file, unpacked.
    static std::vector<Unpacked> records_of(const fs::path& file) {
        std::vector<Unpacked> out;
        const std::string bytes = read_file(file.string());
        for (std::size_t at = 0; at + 512 <= bytes.size(); at += 512) out.push_back(unpack(bytes.substr(at, 512)));
        return out;
    }
};

TEST_F(WebTest, StationDataselectAndTimingWhileTheReceiverIsLockedThenLost) {
    make_station();
    // The board starts at 12:34:10, marks a synchronisation every 10 s and
    // loses its receiver at 12:36:00, ten board seconds a second.
    SimulatedBoard board(folder_, {"--family", "orda10", "--speed-factor", "10", "--sync-every", "10",
                                   "--sync-lost-at", "12:36:00"});
    ASSERT_TRUE(board.ready());
    const fs::path archive = folder_ / "sds";
    const std::string err = (folder_ / "tw.err").string();
    Background program(TW_TERRAWAVE,
                       headless_arguments(board.device(), {"--run-for", "90", "--mseed", archive.string(), "--http",
                                                           "0", "--http-bind", "127.0.0.1", "--station", "tw1",
                                                           "--network", "TW"}),
                       (folder_ / "tw.out").string(), err, pc_clock_at(pc_start_));
    const int port = port_named(err, "HTTP server listening on 127.0.0.1 port ");
    ASSERT_GT(port, 0) << read_file(err);

    // Metadata: every level validates; channels, rates and sensitivity are the settings'.
    for (const char* level : {"network", "station", "channel", "response"}) {
        const auto a = http_get(port, std::string("/fdsnws/station/1/query?level=") + level);
        ASSERT_EQ(a.status, 200) << level;
        const fs::path file = folder_ / (std::string(level) + ".xml");
        std::ofstream(file) << a.body;
        // The schema lies beside the repository; a copy without it checks the rest.
        if (fs::exists(TW_STATION_SCHEMA)) {
            EXPECT_EQ(tw::testing::schema_problems(TW_STATION_SCHEMA, file), "") << level;
        }
    }
    const auto text = http_get(port, "/fdsnws/station/1/query?level=channel&format=text");
    const auto lines = split_lines(text.body);
    ASSERT_EQ(lines.size(), 3u) << text.body;
    EXPECT_EQ(lines[1], "TW|TW1||BHZ|14.39|12.33|350|0|0|-90|TERRAWAVE channel 1|3774873.6|5|m/s|20|2024-03-05T00:00:00|");
    EXPECT_TRUE(lines[2].starts_with("TW|TW1||MHN|14.39|12.33|350|0|0|0|TERRAWAVE channel 2|")) << lines[2];
    EXPECT_EQ(http_get(port, "/fdsnws/station/1/version").body, "1.1.0\n");

    // Bad requests: a clear error each, and the server and acquisition go on.
    EXPECT_EQ(http_get(port, "/fdsnws/station/1/query?start=never").status, 400);
    EXPECT_EQ(http_get(port, "/fdsnws/dataselect/1/query?start=2000-01-01&end=2010-01-01").status, 413);
    EXPECT_EQ(http_get(port, "/fdsnws/station/1/query", "POST").status, 405);
    {
        std::vector<std::unique_ptr<Client>> many;
        for (int i = 0; i < 20; ++i) many.push_back(std::make_unique<Client>(port));
        EXPECT_NE(many.back()->take(std::string::npos).find("503"), std::string::npos);
        many.front()->send("GET /" + std::string(100000, 'a') + " HTTP/1.1\r\n");
    }
    // Wait for board time 12:39:00 (the records of the window are archived by then).
    const fs::path bhz = archive / "2024/TW/TW1/BHZ.D/TW.TW1..BHZ.D.2024.065";
    ASSERT_TRUE(wait_until([&] {
        const auto r = records_of(bhz);
        return !r.empty() && r.back().start_us > us_of("2024/03/05 12:39:00");
    }, 60s));
    const auto data = http_get(port, "/fdsnws/dataselect/1/query?net=TW&sta=TW1&cha=BHZ"
                                     "&start=2024-03-05T12:35:00&end=2024-03-05T12:37:00");
    ASSERT_EQ(data.status, 200);
    program.signal(SIGTERM);
    ASSERT_EQ(program.wait(60s), 0) << read_file(err);
    board.stop();

    // Exactly the archived records that overlap the window, byte for byte.
    const std::string file_bytes = read_file(bhz.string());
    std::string expected;
    for (std::size_t at = 0; at + 512 <= file_bytes.size(); at += 512) {
        const auto u = unpack(file_bytes.substr(at, 512));
        const std::int64_t end = u.start_us + (static_cast<std::int64_t>(u.samples.size()) - 1) * 50000;
        if (end >= us_of("2024/03/05 12:35:00") && u.start_us < us_of("2024/03/05 12:37:00"))
            expected += file_bytes.substr(at, 512);
    }
    ASSERT_GT(expected.size(), 4u * 512);
    EXPECT_TRUE(data.body == expected) << data.body.size() << " bytes, " << expected.size() << " archived";
    // Their samples are what the board sent, one after the other.
    const auto sent = board.samples(1);
    std::vector<int> samples;
    for (std::size_t at = 0; at < data.body.size(); at += 512) {
        const auto u = unpack(data.body.substr(at, 512));
        samples.insert(samples.end(), u.samples.begin(), u.samples.end());
    }
    EXPECT_TRUE(sent_at(sent, unpack(data.body.substr(0, 512)).start_us, 50000, samples));

    // Timing: synchronised every 10 s until 12:35:49 (the first mark the
    // program sees comes a few seconds after the start), locked for 120 s
    // after the last one, then quality 90; nothing before the first.
    int locked = 0, after = 0;
    for (const auto& u : records_of(bhz)) {
        if (u.start_us >= us_of("2024/03/05 12:34:30") && u.start_us <= us_of("2024/03/05 12:37:45")) {
            EXPECT_EQ(u.timing_quality, 100) << u.start_us;
            EXPECT_TRUE(u.io_flags & 0x20);
            ++locked;
        } else if (u.start_us >= us_of("2024/03/05 12:37:50")) {
            EXPECT_EQ(u.timing_quality, 90);
            EXPECT_FALSE(u.io_flags & 0x20);
            ++after;
        } else if (u.start_us < us_of("2024/03/05 12:34:19")) {  // before any mark
            EXPECT_EQ(u.timing_quality, 0);
        }
    }
    EXPECT_GT(locked, 3);
    EXPECT_GT(after, 3);
}

}  // namespace
