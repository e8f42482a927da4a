// The replay of day tracks through the trigger over what real tracks hold:
// a pause, a change of rate, a missing day, a stretch with nothing in it.

#include "datalog/retrigger.h"

#include "config/settings_file.h"
#include "config/time_stamp.h"
#include "datalog/track_format.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace tw::datalog {
namespace {

// Channel 1 on 2003/02/03: 10:00:00 to 10:10:00 at 20 per second, a pause,
// 10:12:00 to 10:22:00 at 50 per second; a burst 5 minutes into each run.
void write_day(const std::filesystem::path& datalog) {
    std::filesystem::create_directories(datalog);
    std::string index, track;
    for (const auto& [start, rate] : {std::pair{"2003/02/03 10:00:00", 20}, {"2003/02/03 10:12:00", 50}}) {
        index += index_start_group(start, rate, track.size());
        for (int i = 0; i < 600 * rate; ++i) {
            const double t = static_cast<double>(i) / rate;
            const double burst = t > 300 && t < 330 ? 8000 * std::exp(-(t - 300) / 8) : 0;
            const double v = 150 * std::sin(t * 5.1) + 90 * std::sin(t * 8.3) + burst * std::sin(t * 12.6);
            std::uint8_t bytes[2];
            encode_track_sample(static_cast<std::int32_t>(v), 2, bytes);
            track.append(reinterpret_cast<char*>(bytes), 2);
        }
    }
    index += index_stop_group("2003/02/03 10:22:00", track.size());
    std::ofstream(datalog / "0203.ll1", std::ios::binary) << index;
    std::ofstream(datalog / "0203.lg1", std::ios::binary) << track;
}

TEST(Retrigger, AReplayGoesOnOverAPauseARateChangeAndAMissingDay) {
    tw::testing::TestFolder folder;
    write_day(folder / "datalog");
    config::Settings settings;
    config::ChannelSettings& ch = settings.channel(1);
    ch.sps_code = 8, ch.record_enabled = 1, ch.trigger_mode = 1;
    ch.start_params = "2000,2,0.1,1,30,3", ch.stop_params = "1800,0.2,2,5";
    config::expand_start_params(ch), config::expand_stop_params(ch), config::recompute_event_lengths(ch);

    RetriggerRequest request{folder / "datalog", "2003/02/03 09:50:00", 24 * 60, {1}};
    const RetriggerResult r = retrigger(settings, request);
    ASSERT_EQ(r.refusal, "");
    ASSERT_EQ(r.events.size(), 2u);
    // The file would start 6 s before the trigger's second (plus one) and
    // hold the pre-event section, the burst and 12 s of coda, at either rate.
    const std::tuple<double, std::string, std::string> expected[] = {{20, "10:05:00", "10:04:55"},
                                                                     {50, "10:17:00", "10:16:55"}};
    for (std::size_t i = 0; i < 2; ++i) {
        const RetriggerEvent& e = r.events[i];
        const auto& [rate, trigger, start] = expected[i];
        EXPECT_EQ(e.event.rate, rate);
        EXPECT_EQ(e.event.trigger_text.substr(11, 8), trigger);
        EXPECT_EQ(config::stamp_text(e.start).substr(11), start);
        EXPECT_NEAR(e.end - static_cast<double>(e.start), 27, 1.5);
        EXPECT_FALSE(e.cut);
    }
    EXPECT_EQ(r.samples, 600u * 20 + 600u * 50);
    const std::vector<std::string> notices = {
        "Channel 1, 2003/02/04: Data of track 1 missing. .LG1 not present. That day is left out.",
        "Channel 1: nothing recorded from 2003/02/03 09:50:00 to 2003/02/03 10:00:00.",
        "Channel 1: nothing recorded from 2003/02/03 10:10:00 to 2003/02/03 10:12:00.",
        "Channel 1: nothing recorded from 2003/02/03 10:22:00 to 2003/02/04 09:50:00.",
        "Channel 1: the rate changed from 20 samples per second to 50 samples per second at 2003/02/03 10:12:00; "
        "replayed at each rate."};
    EXPECT_EQ(r.notices, notices);
    EXPECT_EQ(retrigger_summary(r).substr(0, 9), "2 events,");

    // An index with its dates day first is read as it is, and left so.
    const auto index = folder / "datalog" / "0203.ll1";
    std::string text = tw::testing::read_file(index);
    for (auto at = text.find("2003/02/03"); at != std::string::npos; at = text.find("2003/02/03"))
        text.replace(at, 10, "03/02/2003");
    std::ofstream(index, std::ios::binary) << text;
    EXPECT_EQ(retrigger(settings, request).events.size(), 2u);
    EXPECT_EQ(tw::testing::read_file(index), text);

    request.start = "2003/02/03 11:00:00", request.minutes = 60;
    const RetriggerResult none = retrigger(settings, request);
    EXPECT_EQ(none.refusal, "Nothing to replay.");
    EXPECT_EQ(none.notices.back(), "Channel 1: nothing was recorded from 2003/02/03 11:00:00 to 2003/02/03 12:00:00.");
}

}  // namespace
}  // namespace tw::datalog
