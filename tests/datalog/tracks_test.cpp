#include "datalog/tracks.h"

#include "datalog/track_check.h"
#include "fakes/fake_platform.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cmath>
#include <map>
#include <memory>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace tw::datalog;
using check::board_seconds;
using check::read_file;
using check::stamp;

// Real files on a disk that can fill up: `budget` bytes may still be written
// (negative: no limit); writes to files named `*refuse_suffix` fail after
// `refuse_after` bytes. Syncs are counted, not done.
class TestFileOps : public FileOps {
public:
    int open(const char* path, int flags, int mode) override {
        const int fd = FileOps::open(path, flags, mode);
        if (fd >= 0) paths[fd] = path;
        return fd;
    }
    long write(int fd, const void* data, std::size_t size) override {
        std::size_t allowed = size;
        if (!refuse_suffix.empty() && paths[fd].ends_with(refuse_suffix)) {
            allowed = std::min<std::size_t>(allowed, refuse_after);
            refuse_after -= allowed;
        }
        if (budget >= 0) allowed = std::min<std::size_t>(allowed, static_cast<std::size_t>(budget));
        if (allowed == 0) return errno = ENOSPC, -1;
        const long n = FileOps::write(fd, data, allowed);
        if (n > 0 && budget >= 0) budget -= n;
        return n;
    }
    int sync(int) override { return ++syncs, 0; }

    long long budget = -1;
    std::string refuse_suffix;
    std::size_t refuse_after = 0;
    int syncs = 0;
    std::map<int, std::string> paths;
};

class TracksTest : public ::testing::Test {
protected:
    TracksTest() {
        fs::create_directories(folder_ / "datalog");
        settings_.general.flush_period = 0, settings_.general.ad_type = 0;  // segments of 5 minutes, 16 bits
    }
    ~TracksTest() override {
        tracks_.reset();
        if (mounted_) ::umount2((folder_ / "datalog").c_str(), MNT_DETACH);
    }

    // Puts the datalog folder on a small file system of its own, or resizes
    // it (`remount`); false when this process may not mount one.
    bool mount_datalog_disk(const char* size, bool remount = false) {
        const std::string options = std::string("size=") + size;
        const char* type = remount ? nullptr : "tmpfs";
        if (::mount(type, (folder_ / "datalog").c_str(), type, remount ? MS_REMOUNT : 0, options.c_str()) != 0)
            return false;
        return mounted_ = true;
    }

    Tracks& tracks() {
        if (!tracks_)
            tracks_ = std::make_unique<Tracks>(TracksContext{settings_, folder_ / "datalog", folder_.path(),
                                                             events_, report_, disk_, clock_, &ops_});
        return *tracks_;
    }
    // Logs a channel at a rate; `per_second` samples come in each second of run().
    void log(int channel, int sps_code, int per_second = 0) {
        settings_.channel(channel).logging_enabled = 1;
        settings_.channel(channel).sps_code = sps_code;
        rates_[channel].per_second = per_second;
    }
    // Board second minute:second past 10:00 on 2024/01/05.
    static std::int64_t at(int minute, int second = 0) { return board_seconds(1, 5, 10, minute, second); }
    // The error report holds `count` lines, the first of them with `text`.
    void expect_reported(std::size_t count, const std::string& text) {
        const auto& lines = report_.model().lines;
        ASSERT_EQ(lines.size(), count);
        EXPECT_NE(lines[0].find(text), std::string::npos) << lines[0];
    }
    fs::path file(const std::string& name) const { return folder_ / "datalog" / name; }
    std::uint64_t size_of(const std::string& name) const {
        std::error_code error;
        return fs::exists(file(name), error) ? fs::file_size(file(name)) : 0;
    }

    // One pass of the acquisition loop after the time packet of board second t.
    void pass(std::int64_t t, bool ready = true) {
        now_ = stamp(t);
        tracks().track_boundary_check(TrackTime{now_, static_cast<double>(t % 86400), ready});
    }
    // Samples per board second of a channel: `per_second`, or one every
    // `every` seconds (at the last second of each such span).
    struct Rate {
        int per_second = 0, every = 0;
    };
    // Board seconds [from, to): the time packet's pass, then the samples of
    // that second, one pass each, the channels interleaved. The PC's clock
    // moves with the board.
    void run(std::int64_t from, std::int64_t to) {
        for (std::int64_t t = from; t < to; ++t) {
            pass(t);
            int most = 1;
            for (int c = 1; c <= 4; ++c) most = std::max(most, rates_[c].per_second);
            for (int i = 0; i < most; ++i)
                for (int c = 1; c <= 4; ++c)
                    if (i < rates_[c].per_second || (i == 0 && rates_[c].every > 0 && (t + 1) % rates_[c].every == 0))
                        pass(t), append(c, t);
            clock_.advance_ms(1000);
        }
    }
    void append(int channel, std::int64_t t) {
        const auto k = static_cast<std::int32_t>(sent_[channel].size());
        sent_[channel].push_back((k * 7919 + channel * 1000) % 60001 - 30000);
        sent_time_[channel].push_back(t);
        tracks().track_append_sample(channel, sent_[channel].back());
    }
    void stop() { tracks().track_close_all(TrackTime{now_, 0, true}); }

    // Every segment of a channel's day, in order; fails the test when its
    // index is malformed or points outside its track.
    std::vector<check::Segment> segments(int channel, const std::string& day = "0105") {
        std::string problem;
        auto all = check::day_segments(file(track_file_name(day, TrackFile::index, channel)),
                                       file(track_file_name(day, TrackFile::track, channel)), problem);
        EXPECT_EQ(problem, "");
        return all;
    }
    // Checks that each segment holds the samples sent from its START second
    // on, in order, so every sample lies where its index group puts it.
    void expect_samples_where_index_says(int channel, const std::vector<check::Segment>& all, int width) {
        for (const auto& segment : all) {
            const auto& times = sent_time_[channel];
            const auto first = static_cast<std::size_t>(
                std::lower_bound(times.begin(), times.end(), check::seconds_of_stamp(segment.group.start)) - times.begin());
            const auto got = check::decode_samples(
                read_file(file(track_file_name(segment.day, TrackFile::track, channel))), segment.begin,
                segment.end, width);
            ASSERT_LE(first + got.size(), sent_[channel].size()) << segment.group.start;
            for (std::size_t k = 0; k < got.size(); ++k)
                ASSERT_EQ(got[k], sent_[channel][first + k])
                    << "channel " << channel << " segment " << segment.group.start << " sample " << k;
        }
    }

    tw::testing::TestFolder folder_;
    tw::config::Settings settings_;
    tw::fakes::FakeClock clock_;
    tw::fakes::FakeEventPump pump_{clock_};
    tw::supervision::ErrorReport report_{clock_, pump_};
    tw::supervision::EventList events_{folder_ / "evtfile.dat", clock_};
    tw::fakes::FakeDisk disk_;
    TestFileOps ops_;
    std::unique_ptr<Tracks> tracks_;
    bool mounted_ = false;
    std::string now_;
    std::array<Rate, 5> rates_{};
    std::array<std::vector<std::int32_t>, 5> sent_;
    std::array<std::vector<std::int64_t>, 5> sent_time_;
};

std::string golden(const std::string& name) {
    return read_file(fs::path(TW_TEST_DATA_DIR) / "datalog" / name);
}

TEST_F(TracksTest, SegmentsStartAtStartThenOnMultiplesOfThePeriod) {
    settings_.general.flush_period = 2;  // 15 minutes
    log(1, 8, 20);                       // 20 samples per second
    tracks().start_run();
    run(at(7, 30), at(31, 10));
    stop();
    EXPECT_EQ(read_file(file("0105.ll1")), golden("period15_start1007.ll1"));
    EXPECT_EQ(size_of("0105.lg1"), 56800u);
    EXPECT_FALSE(fs::exists(file("0105.ch1")));
    expect_samples_where_index_says(1, segments(1), 2);
    EXPECT_TRUE(report_.model().lines.empty());
}

TEST_F(TracksTest, NothingIsOpenedOrLoggedBeforeAGoodTimeWithTheTimeBaseReady) {
    log(1, 8);
    tracks().start_run();
    pass(at(0), false);
    // A garbled board time starts no segment and is reported once.
    for (const TrackTime& bad : {TrackTime{"2024/01/05 99:00:00", 36000, true}, TrackTime{"", 36000, true},
                                 TrackTime{"2024/01/05 10:00:00", std::nan(""), true},
                                 TrackTime{"2024/01/05 10:00:00", -5, true}})
        tracks().track_boundary_check(bad);
    tracks().track_append_sample(1, 5);
    EXPECT_TRUE(fs::is_empty(folder_ / "datalog"));
    expect_reported(1, "'2024/01/05 99:00:00'");
    pass(at(0, 1));
    EXPECT_EQ(tracks().segment_name(1), "0105");
    tracks().track_append_sample(0, 1);  // channel numbers out of range are ignored
    tracks().track_append_sample(5, 1);
    stop();
    EXPECT_EQ(size_of("0105.lg1"), 0u);
}

TEST_F(TracksTest, ChannelsWithoutRateOrLoggingGetNoFiles) {
    settings_.channel(1).logging_enabled = 1, settings_.channel(1).sps_code = 0;  // rate OFF
    settings_.channel(2).sps_code = 8;                                             // logging off
    log(3, 1);                                 // one sample per minute
    rates_[1].per_second = rates_[2].per_second = 20;
    rates_[3].every = 60;
    tracks().start_run();
    run(at(0), at(6));
    stop();
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_ / "datalog")) names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"0105.lg3", "0105.ll3"}));
    EXPECT_EQ(read_file(file("0105.ll3")),
              "START :2024/01/05 10:00:00\r\nSPS   : .016666\r\nPOSIT : 0\r\n"
              "START :2024/01/05 10:05:00\r\nSPS   : .016666\r\nPOSIT : 10\r\n"
              "STOP  :2024/01/05 10:05:59\r\nPOSIT : 11\r\n");

    // An empty buffer at STOP on a new track stops at position 0.
    log(2, 8);
    tracks().start_run();
    pass(at(7));
    stop();
    EXPECT_EQ(read_file(file("0105.ll2")),
              "START :2024/01/05 10:07:00\r\nSPS   : 20\r\nPOSIT : 0\r\nSTOP  :2024/01/05 10:07:00\r\nPOSIT : 0\r\n");
    EXPECT_EQ(std::pair(fs::exists(file("0105.lg2")), size_of("0105.lg2")), std::pair(true, std::uint64_t{0}));
    EXPECT_FALSE(fs::exists(file("0105.ch2")));
}

TEST_F(TracksTest, TrackBytesAreLittleEndianOfTheBoardsWidth) {
    for (int ad_type : {0, 1}) {
        SCOPED_TRACE(ad_type);
        settings_.general.ad_type = ad_type;
        log(1, 8);
        tracks().start_run();
        pass(board_seconds(1, 5 + ad_type, 10, 0, 0));
        const std::int32_t values[] = {0, 1, -1, ad_type == 0 ? 32766 : 131070, ad_type == 0 ? -32766 : -131070,
                                       ad_type == 0 ? 70000 : 65536};
        for (std::int32_t v : values) tracks().track_append_sample(1, v);
        stop();
    }
    EXPECT_EQ(read_file(file("0105.lg1")), golden("sixteen_bit.lg1"));
    EXPECT_EQ(read_file(file("0106.lg1")), golden("eighteen_bit.lg1"));
}

TEST_F(TracksTest, BufferReachesTheDiskAtLeastEverySyncInterval) {
    log(1, 12);  // 200 per second
    tracks().start_run();
    const auto t = at(0);
    pass(t);
    for (int i = 0; i < 100; ++i) tracks().track_append_sample(1, i);
    pass(t);
    EXPECT_EQ(size_of("0105.ch1"), 0u);  // still in memory
    clock_.advance_ms(Tracks::sync_interval_ms);
    pass(t);  // the same board second: no check of the clock
    EXPECT_EQ(size_of("0105.ch1"), 0u);
    pass(t + 1);
    EXPECT_EQ(size_of("0105.ch1"), 200u);
    EXPECT_GE(ops_.syncs, 1);
    // The housekeeping tick covers a board that has gone quiet.
    for (int i = 0; i < 10; ++i) tracks().track_append_sample(1, i);
    clock_.advance_ms(Tracks::sync_interval_ms);
    tracks().sync_if_due();
    EXPECT_EQ(size_of("0105.ch1"), 220u);
}

TEST_F(TracksTest, DiskWarningOnlyAtMinuteZeroAndAtMostHundredThousandKilobytes) {
    log(1, 8);
    // 100000 kB: warned; 100001 kB: not; unknown: not; the first boundary
    // of a run off minute 0: not.
    const std::pair<std::optional<std::uint64_t>, int> cases[] = {
        {100'000'999, 0}, {100'001'000, 0}, {std::nullopt, 0}, {1000, 1}};
    for (int day = 5; const auto& [free, minute] : cases) {
        disk_.free = free;
        tracks().start_run();
        pass(board_seconds(1, day++, 0, minute, minute ? 0 : 30));
        stop();
    }
    const auto lines = events_.read_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(20), "Warning! Disk space low: 100000");
}

TEST_F(TracksTest, BoardRestartEndsTheSegmentAndLogsAgainFromTheNextTimePacket) {
    log(1, 8, 20);
    tracks().start_run();
    run(at(1), at(2));
    const std::int64_t last = at(2) - 1;
    tracks().track_restart(TrackTime{now_, static_cast<double>(last % 86400), true});
    EXPECT_EQ(tracks().segment_name(1), "");
    EXPECT_EQ(size_of("0105.lg1"), 2400u);
    EXPECT_FALSE(fs::exists(file("0105.ch1")));
    // Samples still seen with the old time packet are not logged at a
    // position that belies their time; the next time packet starts a segment.
    pass(last);
    tracks().track_append_sample(1, 5);
    run(at(2), at(5, 10));
    stop();
    EXPECT_EQ(read_file(file("0105.ll1")),
              "START :2024/01/05 10:01:00\r\nSPS   : 20\r\nPOSIT : 0\r\n"
              "STOP  :2024/01/05 10:01:59\r\nPOSIT : 2399\r\n"
              "START :2024/01/05 10:02:00\r\nSPS   : 20\r\nPOSIT : 2400\r\n"
              "START :2024/01/05 10:05:00\r\nSPS   : 20\r\nPOSIT : 9600\r\n"
              "STOP  :2024/01/05 10:05:09\r\nPOSIT : 9999\r\n");
    expect_samples_where_index_says(1, segments(1), 2);
}

TEST_F(TracksTest, ChannelSwitchedOffInARunKeepsWhatItLogged) {
    log(1, 8, 20);
    tracks().start_run();
    run(at(0), at(1));
    settings_.channel(1).logging_enabled = 0;
    run(at(1), at(5, 1));
    EXPECT_EQ(size_of("0105.lg1"), 2400u);
    EXPECT_FALSE(fs::exists(file("0105.ch1")) || tracks().segment_open(1));
    stop();
    EXPECT_EQ(read_file(file("0105.ll1")), "START :2024/01/05 10:00:00\r\nSPS   : 20\r\nPOSIT : 0\r\n");
}

TEST_F(TracksTest, AShortFullDiskIsReportedOnceAndTheSegmentComesOutWhole) {
    settings_.general.ad_type = 1;
    log(1, 8, 20), log(2, 11, 100);
    tracks().start_run();
    run(at(0), at(1));
    // The samples wait in memory while the disk is full.
    ops_.budget = 3001;  // ends in the middle of a sample
    run(at(1), at(3, 30));
    expect_reported(1, "Error:61/Disk full: cannot write " + (folder_ / "datalog").string());
    EXPECT_NE(report_.model().lines[0].find("No space left on device"), std::string::npos);
    ops_.budget = -1;
    run(at(3, 30), at(5, 1));
    for (int c = 1; c <= 2; ++c) {
        const auto all = segments(c);
        ASSERT_EQ(all.size(), 2u);
        EXPECT_EQ(all[0].end - all[0].begin, 300u * (c == 1 ? 20 : 100) * 4);
    }
    EXPECT_EQ(report_.model().lines.size(), 1u);
    stop();
    for (int c = 1; c <= 2; ++c) expect_samples_where_index_says(c, segments(c), 4);
}

TEST_F(TracksTest, TrackThatFillsUpDuringAFlushKeepsWholeSamples) {
    settings_.general.ad_type = 1;
    log(1, 8, 20);
    tracks().start_run();
    run(at(0), at(5));
    clock_.advance_ms(Tracks::sync_interval_ms);
    tracks().sync_if_due();
    EXPECT_EQ(size_of("0105.ch1"), 24000u);
    ops_.budget = 1001;
    pass(at(5));
    EXPECT_EQ(size_of("0105.lg1"), 1000u);
    expect_reported(1, "(1000 of 24000 bytes of the segment in 0105.ch1 kept)");
    const auto all = segments(1);
    ASSERT_EQ(all.size(), 1u);  // the next START group did not fit either
    expect_samples_where_index_says(1, all, 4);
    EXPECT_FALSE(tracks().segment_open(1));
}

// A real file system with room for the segment buffer, not for a second
// copy of it: the first segment still comes out whole. The next one fills
// it: reported, the index sound meanwhile, logging resumes once there is room.
TEST_F(TracksTest, NearlyFullFileSystemTakesAWholeSegmentAndAFullOneIsSurvived) {
    if (!mount_datalog_disk("400k")) GTEST_SKIP() << "cannot mount a tmpfs here";
    settings_.general.ad_type = 1;
    log(1, 12, 200);
    tracks().start_run();
    run(at(0), at(5, 1));
    EXPECT_EQ(size_of("0105.lg1"), 240000u);
    EXPECT_TRUE(report_.model().lines.empty());
    expect_samples_where_index_says(1, segments(1), 4);
    for (std::int64_t t = at(5, 1); t < at(9, 1); t += 60) run(t, t + 60), segments(1);
    ASSERT_FALSE(report_.model().lines.empty());
    for (const char* text : {"Error:61/Disk full: cannot write ", "No space left on device"})
        EXPECT_NE(report_.model().lines[0].find(text), std::string::npos) << report_.model().lines[0];

    ASSERT_TRUE(mount_datalog_disk("2m", true));
    run(at(9, 1), at(11));
    stop();
    const auto all = segments(1);
    expect_samples_where_index_says(1, all, 4);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().group.start, "2024/01/05 10:10:00");
    EXPECT_EQ(all.back().end - all.back().begin, 60u * 200 * 4);
}

TEST_F(TracksTest, SamplesTheBufferFileRefusedGoStraightIntoTheTrack) {
    log(1, 8, 20);
    ops_.refuse_suffix = ".ch1", ops_.refuse_after = 1001;  // the buffer file ends in half a sample
    tracks().start_run();
    run(at(0), at(5, 30));
    EXPECT_EQ(size_of("0105.lg1"), 12000u);
    stop();
    EXPECT_EQ(size_of("0105.lg1"), 13200u);
    // Once before the boundary, once more after the track took data again.
    EXPECT_EQ(report_.model().lines.size(), 2u);
    expect_samples_where_index_says(1, segments(1), 2);
}

TEST_F(TracksTest, IndexGroupThatCannotBeWrittenIsTakenBackWhole) {
    log(1, 8, 20);
    tracks().start_run();
    run(board_seconds(1, 5, 9, 0, 0), board_seconds(1, 5, 9, 0, 10));
    stop();
    const std::string index_before = read_file(file("0105.ll1"));

    ops_.refuse_suffix = ".ll1", ops_.refuse_after = 12;  // half of "START :..."
    tracks().start_run();
    run(at(0), at(1));
    EXPECT_EQ(read_file(file("0105.ll1")), index_before);
    EXPECT_FALSE(tracks().segment_open(1));
    EXPECT_EQ(size_of("0105.lg1"), 400u);  // nothing logged without a START group
    expect_reported(1, "cannot write " + file("0105.ll1").string());

    ops_.refuse_suffix.clear();
    run(at(1), at(5, 5));  // the next boundary works
    stop();
    EXPECT_EQ(read_file(file("0105.ll1")), index_before +
                                               "START :2024/01/05 10:05:00\r\nSPS   : 20\r\nPOSIT : 400\r\n"
                                               "STOP  :2024/01/05 10:05:04\r\nPOSIT : 599\r\n");
}

TEST_F(TracksTest, UnwritableFolderIsReportedWithoutCrash) {
    log(1, 8);
    fs::remove_all(folder_ / "datalog");
    std::ofstream(folder_ / "datalog") << "a file where the folder should be";
    tracks().start_run();
    run(at(0), at(0, 5));
    stop();
    expect_reported(1, "cannot open " + file("0105.lg1").string());
    EXPECT_FALSE(tracks().segment_open(1));
}

}  // namespace
