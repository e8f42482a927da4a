// The station page in a real browser: terrawave --headless with its HTTP
// and SeedLink servers on a simulated board of four channels with a quake,
// and headless Chromium on the page (station_page.mjs). Pictures of the
// page at desktop and phone size land in the build folder.

#include "simulated_station.h"

#include <gtest/gtest.h>

namespace {

using namespace tw::integration;

class StationPageTest : public StationTest {
protected:
    // The port a server named in the event list: "... HTTP server listening on 127.0.0.1 port 41234".
    std::string port_of(const std::string& server) const {
        for (const auto& line : events())
            if (line.find(server) != std::string::npos && line.find(" port ") != std::string::npos)
                return line.substr(line.rfind(' ') + 1);
        return {};
    }
};

TEST_F(StationPageTest, BrowserShowsStatusLiveTracesDrumAndTheQuake) {
    if (std::string(TW_NODE).empty() || !fs::exists(TW_CHROMIUM) || !fs::exists(TW_PAGE_DIR "/index.html"))
        GTEST_SKIP() << "node, chromium or the built page is missing";
    std::vector<SettingEdit> edits = {{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {0, "LOC=", "Monte Verde"}};
    for (int k = 1; k <= 4; ++k) {
        edits.push_back({k, "SPS=", " 10 "});  // 50 per second
        edits.push_back({k, "DRM=", " 1 "});
    }
    // Channel 1 records the quake: 6 s before it, 12 s of coda after it.
    edits.push_back({1, "ENA=", " 1 "});
    edits.push_back({1, "STA=", "2000,2,0.1,1,30,3"});
    edits.push_back({1, "STO=", "1800,0.2"});
    edits.push_back({1, "FFT=", " 1 "});
    edit_settings(edits);

    // The board starts at 12:34:10; the quake comes half a minute later.
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", pc_start_, "--quake", "1:12:34:40:8000:5"});
    ASSERT_TRUE(board.ready());
    const std::string out = (folder_ / "tw.out").string(), err = (folder_ / "tw.err").string();
    Background program(TW_TERRAWAVE,
                       headless_arguments(board.device(), {"--station", "TW01", "--seedlink", "0",
                                                           "--seedlink-bind", "127.0.0.1", "--http", "0",
                                                           "--http-bind", "127.0.0.1"}),
                       out, err, pc_clock_at(pc_start_));
    ASSERT_TRUE(wait_until([&] { return !port_of("HTTP server").empty() && !port_of("SeedLink server").empty(); },
                           60s))
        << read_file(err);

    const auto browser = run(TW_NODE,
                             {TW_SOURCE_DIR "/tests/integration/station_page.mjs",
                              "http://127.0.0.1:" + port_of("HTTP server") + "/", TW_BINARY_DIR "/station_page",
                              TW_SOURCE_DIR "/webpage", TW_CHROMIUM},
                             std::chrono::seconds(240));
    std::cout << browser.out;
    EXPECT_EQ(browser.exit_status, 0) << browser.out << browser.err << read_file(err);

    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(60s), 0) << read_file(err);
}

}  // namespace
