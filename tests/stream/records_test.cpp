// Channel codes, record times and the day archive: the records are read
// back with libmseed and the files with plain reads.

#include "datalog/file_ops.h"
#include "stream/channel_codes.h"
#include "stream/day_archive.h"
#include "stream/record_packer.h"

#include "fakes/test_files.h"
#include "unpacked_record.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <fstream>

namespace {

using namespace tw::stream;
namespace fs = std::filesystem;

TEST(ChannelCodes, FollowRateAndAxis) {
    const struct { double rate; int axis, channel; const char* code; } cases[] = {
        {200, 3, 1, "HHZ"}, {100, 1, 2, "HHN"}, {80, 2, 3, "HHE"}, {50, 0, 4, "BH4"},
        {10, 4, 2, "BH2"},  {5, 3, 1, "MHZ"},   {2, 3, 1, "MHZ"},  {1, 3, 1, "LHZ"},
        {0.5, 3, 1, "VHZ"}, {0.1, 1, 1, "VHN"}, {1.0 / 60, 3, 3, "UHZ"}, {0, 3, 1, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(channel_code(c.rate, c.axis, c.channel), c.code) << c.rate;
    // Two channels on one axis at one rate: the later one goes by its digit.
    using Codes = std::array<std::string, 4>;
    const struct { std::array<double, 4> rates; std::array<int, 4> axes; Codes codes; } sets[] = {
        {{50, 50, 50, 50}, {3, 1, 3, 0}, Codes{"BHZ", "BHN", "BH3", "BH4"}},
        {{50, 50, 50, 50}, {3, 3, 3, 3}, Codes{"BHZ", "BH2", "BH3", "BH4"}},
        {{100, 50, 0, 50}, {3, 3, 3, 1}, Codes{"HHZ", "BHZ", "", "BHN"}},
    };
    for (const auto& set : sets) EXPECT_EQ(channel_codes(set.rates, set.axes), set.codes);
}

TEST(ChannelCodes, CheckedAndNamedInTheArchiveLayout) {
    EXPECT_EQ(check_codes({"xx", "abc12", "00"}), "");
    for (const StreamCodes& bad : {StreamCodes{"XX", "TOOLONG", ""}, StreamCodes{"XX", "", ""},
                                   StreamCodes{"X-", "STA", ""}, StreamCodes{"XX", "STA", "123"}})
        EXPECT_NE(check_codes(bad), "") << bad.network << "." << bad.station << "." << bad.location;
    EXPECT_EQ(day_file_path({"XX", "STA", ""}, "HHZ", 2024, 5), "2024/XX/STA/HHZ.D/XX.STA..HHZ.D.2024.005");
    // Day of the year and date across a leap day and a new year.
    const auto last = civil_time_us(2024, 12, 31, 23, 59, 59, 999999);
    EXPECT_EQ(time_parts(last).day_of_year, 366);
    EXPECT_EQ(time_parts(last + 1).year * 1000 + time_parts(last + 1).day_of_year, 2025001);
    EXPECT_EQ(protocol_time_text(civil_time_us(2023, 3, 1, 4, 5, 6, 789000)), "2023/03/01 04:05:06.7890");
}

check::Unpacked unpack(const Record& r) {
    return check::unpack(std::string(reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size()));
}

// Feeds samples of `rate` from `start_us`, one per period, with an extra
// offset from sample `jump_at` on; returns the records made.
std::vector<Record> pack(double rate, std::int64_t start_us, int count, int jump_at = -1,
                         std::int64_t jump_us = 0, bool flush_every_second = false) {
    std::vector<Record> records;
    RecordPacker packer("XX", "STA", "", "HHZ", 1, [&](const Record& r) { records.push_back(r); });
    for (int i = 0; i < count; ++i) {
        std::int64_t t = start_us + static_cast<std::int64_t>(std::llround(i * 1e6 / rate));
        if (jump_at >= 0 && i >= jump_at) t += jump_us;
        const auto arrival_ms = static_cast<std::int64_t>(i * 1000 / rate);
        packer.add((i * 7919) % 4001 - 2000, t, rate, arrival_ms);
        if (flush_every_second) packer.flush_if_older(arrival_ms, 1000);
    }
    packer.flush();
    return records;
}

TEST(RecordTimes, EachRecordStartsAtItsFirstSampleAndHoldsEverySampleOnce) {
    const std::int64_t noon = civil_time_us(2024, 6, 1, 12, 0, 0);
    const std::int64_t before_midnight = civil_time_us(2024, 6, 1, 23, 59, 50);
    struct Case {
        const char* name;
        double rate;
        std::int64_t start;
        int count, jump_at;
        std::int64_t jump_us;
        std::vector<std::int64_t> breaks;  // record starts that follow no previous one
        bool flush_every_second = false;
    } cases[] = {
        {"continuous", 200, noon, 5000, -1, 0, {noon}},
        {"board clock stepped 2 s back", 200, noon, 3000, 1000, -2000000, {noon, noon + 5000000 - 2000000}},
        {"one sample's time off by a period", 100, noon, 1000, 300, 10000, {noon, noon + 3010000}},
        {"midnight", 20, before_midnight, 400, -1, 0, {before_midnight}},
        {"short records of the live limit", 1, noon, 30, -1, 0, {noon}, true},
        {"one a minute", 1.0 / 60, noon, 10, -1, 0, {noon}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto records = pack(c.rate, c.start, c.count, c.jump_at, c.jump_us, c.flush_every_second);
        std::vector<std::int64_t> breaks;
        std::int64_t expected = -1;
        int total = 0;
        for (const auto& r : records) {
            const auto u = unpack(r);
            ASSERT_EQ(u.samples.size(), static_cast<std::size_t>(r.samples));
            EXPECT_NEAR(u.rate, c.rate, 1e-9);
            EXPECT_EQ(u.start_us, r.start_us);
            if (std::llabs(u.start_us - expected) > 1) breaks.push_back(u.start_us);
            // Records never span midnight: with no break, one starts at 00:00:00.
            EXPECT_EQ(day_number(r.start_us), day_number(r.end_us));
            for (int k = 0; k < r.samples; ++k) EXPECT_EQ(u.samples[k], ((total + k) * 7919) % 4001 - 2000);
            total += r.samples;
            expected = u.start_us + std::llround(r.samples * 1e6 / c.rate);
        }
        EXPECT_EQ(total, c.count);
        EXPECT_EQ(breaks, c.breaks);
        EXPECT_GE(records.size(), c.flush_every_second ? 10u : 1u);
    }
}

// Writes that stop after a budget of bytes, as a disk that filled up.
class FullDisk : public tw::datalog::FileOps {
public:
    long write(int fd, const void* data, std::size_t size) override {
        if (budget <= 0) return errno = ENOSPC, -1;
        const auto n = FileOps::write(fd, data, std::min<std::size_t>(size, static_cast<std::size_t>(budget)));
        if (n > 0) budget -= n;
        return n;
    }
    long budget = 0;
};

class ArchiveTest : public ::testing::Test {
protected:
    static Record record_at(std::int64_t time_us) {
        Record r;
        r.seed_channel = {'H', 'H', 'Z'};
        r.start_us = r.end_us = time_us;
        r.bytes.fill(0x5A);
        return r;
    }
    tw::testing::TestFolder root_;
    DayArchive archive_at(const fs::path& root, tw::datalog::FileOps* ops = nullptr) {
        return DayArchive(root, {"XX", "STA", ""}, 2000, [this](const std::string& m) { messages_.push_back(m); }, ops);
    }
    std::vector<std::string> messages_;
};

TEST_F(ArchiveTest, WholeRecordsAcrossRestartsAndAnUnwritableFolderOrAFullDiskIsReportedOnce) {
    const std::int64_t t = civil_time_us(2024, 2, 29, 10, 0, 0);
    const fs::path file = root_ / "2024/XX/STA/HHZ.D/XX.STA..HHZ.D.2024.060";
    {
        DayArchive archive = archive_at(root_.path());
        EXPECT_TRUE(archive.write(record_at(t), 0));
        EXPECT_TRUE(archive.write(record_at(t + 86400000000LL), 0));  // the next day's file
    }
    ASSERT_EQ(fs::file_size(file), 512u);
    // A power cut left half a record: cut back, then the restart appends.
    std::ofstream(file, std::ios::binary | std::ios::app) << std::string(100, 'x');
    DayArchive archive = archive_at(root_.path());
    EXPECT_TRUE(archive.write(record_at(t), 0));
    archive.close_all();
    EXPECT_EQ(fs::file_size(file), 1024u);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("cut back"), std::string::npos);
    EXPECT_EQ(fs::file_size(root_ / "2024/XX/STA/HHZ.D/XX.STA..HHZ.D.2024.061"), 512u);

    // A root that is a file: nothing can be created under it, even as root.
    messages_.clear();
    std::ofstream(root_ / "file") << "x";
    DayArchive blocked = archive_at(root_ / "file");
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(blocked.write(record_at(t), 0));
    EXPECT_EQ(blocked.records_lost(), 5u);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("cannot open"), std::string::npos) << messages_[0];

    // A disk that takes one and a half records, then room again.
    messages_.clear();
    FullDisk disk;
    disk.budget = 768;
    DayArchive full = archive_at(root_ / "sds", &disk);
    EXPECT_TRUE(full.write(record_at(t), 0));
    EXPECT_FALSE(full.write(record_at(t), 0));
    EXPECT_FALSE(full.write(record_at(t), 0));
    disk.budget = 1 << 20;
    EXPECT_TRUE(full.write(record_at(t), 0));
    full.close_all();
    EXPECT_EQ(fs::file_size(root_ / "sds/2024/XX/STA/HHZ.D/XX.STA..HHZ.D.2024.060"), 1024u);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_NE(messages_[0].find("No space left"), std::string::npos) << messages_[0];
    EXPECT_NE(messages_[1].find("writing again"), std::string::npos) << messages_[1];
}

}  // namespace

namespace {

TEST(RecordTiming, QualityFallsWithTimeSinceTheLastSynchronisation) {
    struct Case {
        std::optional<std::int64_t> age;
        RecordTiming timing;
    } cases[] = {
        {std::nullopt, {false, 0}},
        {0, {true, 100}},           {-3, {true, 100}},
        {120, {true, 100}},         {121, {false, 90}},
        {120 + 299, {false, 90}},   {120 + 300, {false, 89}},
        {120 + 80 * 300, {false, 10}}, {10 * 86400, {false, 10}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(timing_after_sync(c.age), c.timing) << (c.age ? *c.age : -999);
}

TEST(RecordTiming, EachRecordCarriesTheClockStateOfItsFirstSample) {
    // Synchronised at 12:00:00 and 12:00:30, then the receiver is lost; a
    // record is flushed every 60 s of 20 samples per second.
    const std::int64_t noon = civil_time_us(2024, 6, 1, 12, 0, 0);
    SyncHistory history;
    history.note(noon / 1000000);
    history.note(noon / 1000000 + 30);
    EXPECT_EQ(history.at(noon - 1000000), RecordTiming{});  // before any synchronisation

    std::vector<Record> records;
    RecordPacker packer("XX", "TST", "", "BHZ", 1, [&](const Record& r) { records.push_back(r); });
    packer.set_timing_source([&](std::int64_t t) { return history.at(t); });
    for (int k = 0; k < 20 * 60 * 12; ++k) {
        packer.add(k % 50, noon + k * 50000LL, 20, 0);
        if (k % (20 * 60) == 20 * 60 - 1) packer.flush();
    }
    packer.flush();
    ASSERT_GE(records.size(), 12u);
    int previous = 100;
    for (const auto& r : records) {
        const auto u = unpack(r);
        const std::int64_t age = (u.start_us - noon) / 1000000 - 30;
        const RecordTiming expected = timing_after_sync(std::max<std::int64_t>(age, 0));
        EXPECT_EQ(u.timing_quality, expected.quality) << age;
        EXPECT_EQ((u.io_flags & 0x20) != 0, expected.clock_locked) << age;
        EXPECT_EQ(read_timing(r.bytes.data(), r.bytes.size()), expected);
        EXPECT_LE(u.timing_quality, previous);
        previous = u.timing_quality;
    }
    EXPECT_EQ(previous, 89);  // 11 minutes on: 9 past the lock, one step down
}

}  // namespace
