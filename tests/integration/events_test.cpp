// A quake on the simulated board, recorded by terrawave --headless: the
// STA/LTA trigger of channel 1 starts the event, its extended trigger starts
// channels 2 and 3, and every event file holds exactly what the board sent
// for its stretch, with the count in its header, the summary in the event
// list and a line in each message file. The channels carry sines, which no
// STA/LTA ratio of 3 can take for a quake, whatever board seconds the run
// meets.

#include "simulated_station.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace tw::integration;

class EventsTest : public StationTest {};

TEST_F(EventsTest, QuakeOnChannelOneRecordsThreeChannelsAsTheBoardSentThem) {
    std::vector<SettingEdit> edits = {{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "SMS=", " 1"},
                                      {0, "SEM=", " 1"}, {4, "SPS=", " 0 "},      {1, "TRM=", " 1 "},
                                      {1, "TRI=", " 1 "}};
    for (int k = 1; k <= 3; ++k) {
        // 20 samples per second; 6 s before the trigger; 1 s and 10 s
        // windows, ratio 3 to start; 12 s of coda (ratio below 2) to end.
        edits.push_back({k, "SPS=", " 8 "});
        edits.push_back({k, "ENA=", " 1 "});
        edits.push_back({k, "STA=", "2000,2,0.1,1,10,3"});
        edits.push_back({k, "STO=", "1800,0.2,2,5"});
    }
    edit_settings(edits);

    // The board clock runs twenty times faster: the quake comes ten seconds
    // after the simulator started, long after the program did.
    pc_start_ = "2024/03/05 10:00:00";
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", pc_start_, "--speed-factor", "20",
                                   "--signal", "1:sine:300:1.37", "--signal", "2:sine:200:2.11", "--signal",
                                   "3:sine:250:0.83", "--quake", "1:10:03:20:8000:10"});
    ASSERT_TRUE(board.ready());
    const auto summaries = [&] {
        const auto lines = events();
        return std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.find(" L:") != l.npos; });
    };
    const auto result = run_headless_until(board.device(), [&] { return summaries() >= 3; });
    ASSERT_FALSE(result.timed_out) << result.err;
    ASSERT_EQ(result.exit_status, 0) << result.err;
    board.stop();

    std::map<int, fs::path> files;
    for (const auto& path : files_in(station() / "events")) {
        const std::string name = path.filename().string();
        EXPECT_TRUE(name.size() == 17 && name.starts_with("240305.100")) << name;
        files[name.back() - '0'] = path;
    }
    ASSERT_EQ(files.size(), 3u) << result.err;
    ASSERT_TRUE(files.count(1) && files.count(2) && files.count(3)) << result.err;

    const auto list = events();
    std::vector<std::string> message_heads;
    for (const auto& [k, path] : files) {
        SCOPED_TRACE("channel " + std::to_string(k));
        const EventFileText file = read_event_file(path);
        expect_board_samples(file, board.samples(k));
        const std::string start = file.header.at("Start Time").substr(0, 19);
        EXPECT_EQ(file.header.at("Start Time").substr(19, 4), ".000");
        // Its summary, and its message lines.
        char length[16];
        std::snprintf(length, sizeof length, "L:%08zu", file.samples.size());
        const std::string head = path.filename().string() + " " + start + " " + length + " ";
        EXPECT_EQ(std::count_if(list.begin(), list.end(), [&](const auto& l) { return l.starts_with(head); }), 1)
            << head;
        message_heads.push_back(start + " " + length + " ");
    }
    // One message line per event (channels 2 and 3 give the same text).
    std::sort(message_heads.begin(), message_heads.end());
    for (const char* name : {"sendsms.txt", "sendmail.txt"}) {
        const auto lines = split_lines(read_file((station() / name).string()));
        std::vector<std::string> heads;
        for (const auto& line : lines) heads.push_back(line.substr(0, message_heads[0].size()));
        std::sort(heads.begin(), heads.end());
        EXPECT_EQ(heads, message_heads);
    }
    // Channel 1 carried the quake: its file is the longest and holds it.
    const EventFileText quake = read_event_file(files[1]);
    EXPECT_GT(*std::max_element(quake.samples.begin(), quake.samples.end()), 3000);
    EXPECT_GT(quake.samples.size(), read_event_file(files[2]).samples.size());
    EXPECT_EQ(result.err.find("error:"), std::string::npos) << result.err;
}

}  // namespace
