// Standard data from terrawave --headless against the simulated board:
// the miniSEED day archive read back with libmseed, and the SeedLink server
// spoken to over TCP by a small client, both compared with the samples the
// board sent (its record).

#include "simulated_station.h"

#include "../stream/unpacked_record.h"
#include "config/time_stamp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

using namespace tw::integration;
using tw::stream::check::Unpacked;
using tw::stream::check::unpack;

class StreamTest : public StationTest {};

TEST_F(StreamTest, ArchiveAndSeedLinkCarryEverySampleTheBoardSentWithItsBoardTime) {
    // Channel 1 at 20 samples per second on the Z axis (BHZ), channel 2 at
    // 5 on an axis of no orientation (MH2).
    edit_settings({{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {1, "SPS=", " 8 "}, {1, "VAX=", " 3 "},
                   {2, "SPS=", " 6 "}, {2, "VAX=", " 0 "}, {3, "SPS=", " 0 "}, {4, "SPS=", " 0 "}});
    SimulatedBoard board(folder_, {"--family", "orda10", "--speed-factor", "2"});
    ASSERT_TRUE(board.ready());
    const fs::path archive = folder_ / "sds";
    const std::string err = (folder_ / "tw.err").string();
    Background program(TW_TERRAWAVE,
                       headless_arguments(board.device(), {"--run-for", "20", "--mseed", archive.string(), "--seedlink",
                                                           "0", "--station", "tw1", "--network", "TW"}),
                       (folder_ / "tw.out").string(), err, pc_clock_at(pc_start_));
    const int port = port_named(err, "listening on all addresses port ");
    ASSERT_GT(port, 0) << read_file(err);

    // First connection: the server's identity, ERROR for nonsense, then data
    // in multi-station mode until two packets have come.
    std::map<std::string, std::vector<Unpacked>> received;
    std::uint32_t last = 0;
    std::vector<std::uint32_t> sequences;
    auto take_packet = [&](Client& client) {
        const std::string packet = client.take(520);
        if (packet.size() != 520) return false;
        EXPECT_EQ(packet.substr(0, 2), "SL");
        last = static_cast<std::uint32_t>(std::stoul(packet.substr(2, 6), nullptr, 16));
        sequences.push_back(last);
        const Unpacked u = unpack(packet.substr(8));
        received[u.channel].push_back(u);
        return true;
    };
    {
        Client client(port);
        ASSERT_TRUE(client.connected);
        client.send("HELLO\r\n");
        EXPECT_TRUE(client.line().starts_with("SeedLink v4.0 (TERRAWAVE"));
        EXPECT_EQ(client.line(), "TERRAWAVE station TW.TW1");
        for (const char* bad : {"NONSENSE", "STATION ABCDEFG", "SELECT BHZ.X", "DATA XYZ"}) {
            client.send(bad + std::string("\r\n"));
            EXPECT_EQ(client.line(), "ERROR") << bad;
        }
        client.send("STATION TW1 TW\r\n");
        EXPECT_EQ(client.line(), "OK");
        client.send("DATA\r\n");
        EXPECT_EQ(client.line(), "OK");
        client.send("END\r\n");
        ASSERT_TRUE(take_packet(client) && take_packet(client));
    }
    // Second connection, in uni-station mode: resumes at the next record.
    {
        Client client(port);
        ASSERT_TRUE(client.connected);
        char resume[16];
        std::snprintf(resume, sizeof resume, "DATA %06X", (last + 1) & 0xFFFFFF);
        client.send(resume + std::string("\r\n"));
        while (take_packet(client)) {
        }
    }
    // The second connection resumed at the next sequence number.
    ASSERT_GT(sequences.size(), 2u);
    for (std::size_t i = 1; i < sequences.size(); ++i)
        EXPECT_EQ(sequences[i], sequences[i - 1] + 1) << "packet " << i;
    ASSERT_EQ(program.wait(60s), 0) << read_file(err);
    board.stop();

    const std::map<std::string, std::pair<int, int>> streams = {{"BHZ", {1, 20}}, {"MH2", {2, 5}}};
    for (const auto& [code, channel_rate] : streams) {
        SCOPED_TRACE(code);
        const auto [channel, rate] = channel_rate;
        const auto record = board.samples(channel);
        // Over the protocol and in every day file of the archive: one
        // unbroken run of records, whose samples are what was sent.
        const auto expect_as_sent = [&](const std::vector<Unpacked>& got) {
            ASSERT_FALSE(got.empty());
            std::vector<int> samples;
            std::int64_t next_us = got.front().start_us;
            for (const auto& u : got) {
                EXPECT_EQ(u.rate, rate);
                // This board has no time receiver: its records say so.
                EXPECT_EQ(u.timing_quality, 0);
                EXPECT_FALSE(u.io_flags & 0x20);
                EXPECT_LE(std::llabs(u.start_us - next_us), 1000) << "records not back to back";
                next_us = u.start_us + static_cast<std::int64_t>(u.samples.size()) * 1000000 / rate;
                samples.insert(samples.end(), u.samples.begin(), u.samples.end());
            }
            EXPECT_TRUE(sent_at(record, got.front().start_us, 1000000 / rate, samples));
        };
        expect_as_sent(received[code]);
        const fs::path folder = archive / record.front().time.substr(0, 4) / "TW" / "TW1" / (code + ".D");
        ASSERT_TRUE(fs::is_directory(folder));
        for (const auto& day_file : fs::directory_iterator(folder)) {
            SCOPED_TRACE(day_file.path().filename().string());
            const std::string bytes = read_file(day_file.path().string());
            EXPECT_EQ(bytes.size() % 512, 0u);
            std::vector<Unpacked> records;
            std::size_t samples = 0;
            for (std::size_t at = 0; at + 512 <= bytes.size(); at += 512) {
                records.push_back(unpack(bytes.substr(at, 512)));
                samples += records.back().samples.size();
            }
            EXPECT_GT(samples, static_cast<std::size_t>(10 * rate));
            expect_as_sent(records);
        }
    }
}

}  // namespace
