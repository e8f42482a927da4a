#include "acquisition/clock_trimming.h"

#include "clock_station.h"

#include <gtest/gtest.h>

namespace tw::acquisition {
namespace {

using clock_testing::bytes;
using clock_testing::ClockStation;

// The trimming window's logic; the window's tests (tests/ui) measure a fast
// board and press the write and read buttons.
class ClockTrimmingTest : public ::testing::Test {
protected:
    ClockTrimmingTest()
        : trimming(ClockTrimmingContext{
              station.settings, station.sample_path, dialogs, window_open,
              [this] { return firmware; }, [this] { return running; },
              [this](std::string_view b) { return station.commands.emplace_back(b), true; }}) {
        trimming.activate();
    }

    // `count` channel 1 samples arrive.
    void samples(int count) {
        for (int i = 0; i < count; ++i) station.sample_path.take_sample(0, 0);
    }
    void reply(int value) {
        const std::uint8_t packet[] = {0x86, static_cast<std::uint8_t>(value), 0xF0};
        trimming.eeprom_reply(packet);
    }

    ClockStation station;
    fakes::FakeDialogs dialogs;
    bool window_open = false;
    std::string firmware = "1.40";
    bool running = true;
    ClockTrimming trimming;
};

TEST(TrimmingValues, ImageAndBytesOfN) {
    EXPECT_EQ(eeprom_image(86400), "XX 80 51 01 01 XX XX XX XX");
    EXPECT_EQ(eeprom_image(-86400), "XX 80 51 01 00 XX XX XX XX");
    EXPECT_EQ(eeprom_image(1999.5), "XX D0 07 00 01 XX XX XX XX");  // rounded to 2000
    EXPECT_EQ(eeprom_image(1e12), "XX FF FF FF 01 XX XX XX XX");    // beyond 24 bits
    // The bytes written are the bytes shown.
    const auto fields = [](const TrimBytes& b) { return std::tuple(b.b1, b.b2, b.b3, b.direction); };
    EXPECT_EQ(fields(trim_bytes(1999.5)), fields({0xD0, 0x07, 0x00, 1}));
    EXPECT_EQ(fields(trim_bytes(-43200.4)), fields({0xC0, 0xA8, 0x00, 0}));
    EXPECT_EQ(trim_bytes(0).direction, 2);
    EXPECT_EQ(trim_bytes(5e9).b3, 0xFF);

    const auto parsed = parse_trim_text(" c0  A8 00 01 ");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(fields(*parsed), fields({0xC0, 0xA8, 0x00, 1}));
    for (const char* bad : {"C0 A8 00", "C0 A8 00 01 02", "C0 A8 0G 01", "C0A8 00 01 00", ""})
        EXPECT_FALSE(parse_trim_text(bad)) << bad;
}

TEST_F(ClockTrimmingTest, MeasuresNBetweenSynchronisationsForSlowAndExactBoards) {
    const TrimmingModel& m = trimming.model();
    samples(50);  // before the first synchronisation: not counted
    trimming.measure_on_sync("2003/02/03 10:00:00");
    EXPECT_EQ(m.firsttime + "|" + m.prev_sync + "|" + m.trimmevery, "2003/02/03 10:00:00||Wait...");
    samples(5999);  // one minute, one sample short
    trimming.measure_on_sync("2003/02/03 10:01:00");
    EXPECT_EQ(m.ad_received + "|" + m.ad_tlapsed + "|" + m.dataset, "5999|60|XX 70 17 00 00 XX XX XX XX");
    EXPECT_EQ(trimming.trim_error(), -6000);
    samples(6001);  // two minutes in all: no error
    trimming.measure_on_sync("2003/02/03 10:02:00");
    EXPECT_EQ(m.trimmevery, "Wait...");

    // START begins a new measurement at the next synchronisation.
    trimming.restart_measurement();
    EXPECT_EQ(m.firsttime, "");
    trimming.measure_on_sync("2003/02/03 11:00:00");
    EXPECT_EQ(m.firsttime + "|" + m.prev_sync, "2003/02/03 11:00:00|");
}

TEST_F(ClockTrimmingTest, TypedErrorAndManualBytesAreCheckedBeforeTheyAreWritten) {
    trimming.txt_error_changed("-2");
    EXPECT_EQ(trimming.trim_error(), -43200);
    EXPECT_EQ(trimming.model().dataset + "|" + trimming.model().txt_manual_trim,
              "XX C0 A8 00 00 XX XX XX XX|C0 A8 00 00");
    trimming.txt_error_changed("abc");  // no number: nothing changes
    EXPECT_EQ(trimming.trim_error(), -43200);
    trimming.set_trim_data_clicked();
    EXPECT_EQ(station.commands, std::vector<std::string>{bytes({0x85, 0xC0, 0xA8, 0, 0, 0})});

    trimming.txt_manual_trim_changed("12 34");
    trimming.cmd_manual_trim_clicked();
    EXPECT_EQ(station.commands.size(), 1u);
    EXPECT_EQ(dialogs.shown.back().text, ClockTrimming::bad_manual_message);
}

TEST_F(ClockTrimmingTest, RefusesWithoutRunningBoardOrWithOldFirmware) {
    running = false;
    trimming.set_trim_data_clicked();
    trimming.nulltrimm_clicked();
    trimming.eeread_clicked();
    running = true;
    for (const char* version : {"1.xx", "1.11", ""}) {
        firmware = version;
        trimming.set_trim_data_clicked();
    }
    firmware = "1.xx";
    trimming.txt_manual_trim_changed("12 34 56 01");
    trimming.cmd_manual_trim_clicked();
    firmware = "1.30";
    trimming.eeread_clicked();

    const std::string not_running(ClockTrimming::not_running_message);
    const std::string old_firmware(ClockTrimming::old_firmware_message);
    std::vector<std::string> texts;
    for (const auto& shown : dialogs.shown) texts.push_back(shown.text);
    EXPECT_EQ(texts, (std::vector<std::string>{not_running, not_running, not_running, old_firmware,
                                               old_firmware, old_firmware, old_firmware}));
    EXPECT_EQ(station.commands, std::vector<std::string>{bytes({0x86, 0, 0, 0, 0, 0})});
}

// The read address by address is the station's test (tests/app), through the
// running loop.
TEST_F(ClockTrimmingTest, EepromReadIgnoresStrayRepliesAndStartsOver) {
    trimming.eeread_clicked();
    for (int address = 0; address <= 8; ++address) reply(0xA0 + address);
    EXPECT_EQ(trimming.eeprom_byte_text(), "A8");

    // A stray reply after the read asks for nothing; one without its value
    // byte is ignored; a new read starts over.
    reply(0x05);
    const std::uint8_t short_packet[] = {0x86};
    trimming.eeprom_reply(short_packet);
    EXPECT_EQ(station.commands.size(), 9u);
    EXPECT_EQ(trimming.model().eeprom, " A0 A1 A2 A3 A4 A5 A6 A7 A8 05");
    trimming.eeread_clicked();
    EXPECT_EQ(trimming.model().eeprom + std::to_string(trimming.eeprom_index()), "0");
}

}  // namespace
}  // namespace tw::acquisition
