// Standard data from terrawave --headless against the simulated board:
// the miniSEED day archive read back with libmseed, and the SeedLink server
// spoken to over TCP by a small client, both compared with the samples the
// board sent (its record).

#include "simulated_station.h"

#include "../stream/unpacked_record.h"
#include "config/time_stamp.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <map>

namespace {

using namespace tw::integration;
using tw::stream::check::Unpacked;
using tw::stream::check::unpack;

// A plain blocking client with a receive time-out.
struct Client {
    explicit Client(int port) {
        timeval timeout{30, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(fd); }
    void send(const std::string& line) {
        const std::string text = line + "\r\n";
        ASSERT_EQ(::send(fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<long>(text.size()));
    }
    bool fill() {
        char chunk[4096];
        const long got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got > 0) buffer.append(chunk, static_cast<std::size_t>(got));
        return got > 0;
    }
    // Up to `n` bytes from the front.
    std::string cut(std::size_t n) {
        std::string out = buffer.substr(0, n);
        buffer.erase(0, out.size());
        return out;
    }
    // Exactly `n` bytes, fewer when the server closed or went silent.
    std::string take(std::size_t n) {
        while (buffer.size() < n && fill()) {
        }
        return cut(n);
    }
    std::string line() {
        while (buffer.find("\r\n") == std::string::npos && fill()) {
        }
        const std::string text = cut(buffer.find("\r\n"));
        cut(2);
        return text;
    }

    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    bool connected = false;
    std::string buffer;
};

std::int64_t board_us(const RecordedSample& s, int rate) {
    return *tw::config::stamp_seconds(s.time) * 1000000LL + s.index * 1000000LL / rate;
}

// Checks that `samples`, the first at `start_us`, are what the board sent
// one after the other from the sample of that time on.
::testing::AssertionResult as_sent(const std::vector<RecordedSample>& record, int rate,
                                   std::int64_t start_us, const std::vector<int>& samples) {
    std::size_t from = 0;
    while (from < record.size() && std::llabs(board_us(record[from], rate) - start_us) > 1000) ++from;
    if (from == record.size()) return ::testing::AssertionFailure() << "no sample sent at " << start_us;
    if (from + samples.size() > record.size())
        return ::testing::AssertionFailure() << samples.size() << " samples, " << record.size() - from << " sent";
    for (std::size_t k = 0; k < samples.size(); ++k)
        if (record[from + k].value != samples[k])
            return ::testing::AssertionFailure() << "sample " << k << ": " << samples[k] << ", the board sent "
                                                 << record[from + k].value;
    return ::testing::AssertionSuccess();
}

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
    int port = 0;
    ASSERT_TRUE(wait_until([&] {
        const std::string text = read_file(err);
        const auto at = text.find("listening on all addresses port ");
        if (at == std::string::npos) return false;
        port = std::atoi(text.c_str() + at + 32);
        return port > 0;
    }, 20s)) << read_file(err);

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
        client.send("HELLO");
        EXPECT_TRUE(client.line().starts_with("SeedLink v4.0 (TERRAWAVE"));
        EXPECT_EQ(client.line(), "TERRAWAVE station TW.TW1");
        for (const char* bad : {"NONSENSE", "STATION ABCDEFG", "SELECT BHZ.X", "DATA XYZ"}) {
            client.send(bad);
            EXPECT_EQ(client.line(), "ERROR") << bad;
        }
        client.send("STATION TW1 TW");
        EXPECT_EQ(client.line(), "OK");
        client.send("DATA");
        EXPECT_EQ(client.line(), "OK");
        client.send("END");
        ASSERT_TRUE(take_packet(client) && take_packet(client));
    }
    // Second connection, in uni-station mode: resumes at the next record.
    {
        Client client(port);
        ASSERT_TRUE(client.connected);
        char resume[16];
        std::snprintf(resume, sizeof resume, "DATA %06X", (last + 1) & 0xFFFFFF);
        client.send(resume);
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
                EXPECT_LE(std::llabs(u.start_us - next_us), 1000) << "records not back to back";
                next_us = u.start_us + static_cast<std::int64_t>(u.samples.size()) * 1000000 / rate;
                samples.insert(samples.end(), u.samples.begin(), u.samples.end());
            }
            EXPECT_TRUE(as_sent(record, rate, got.front().start_us, samples));
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
