// The hardware setup window's logic, with the board link on a scripted
// board and the parallel ports in memory.

#include "acquisition/hardware_setup.h"

#include "config/settings_file.h"
#include "config/tables.h"
#include "fake_board.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_serial_port.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

namespace {

using namespace tw;
using acquisition::SetupField;
using acquisition::SetupFlag;
using acquisition::SetupList;

class HardwareSetupTest : public ::testing::Test {
protected:
    HardwareSetupTest() {
        config::apply_new_file_values(settings_, folder_.path().string());
        setup_.load();
        setup_.activate();
    }

    void type(SetupField field, const std::string& text) {
        setup_.set_field(field, text);
        setup_.leave_field(field);
    }
    const acquisition::HardwareSetupModel& model() const { return setup_.model(); }
    std::array<std::string, 4> trim() const {
        return {model().text(SetupField::trim_0), model().text(SetupField::trim_1),
                model().text(SetupField::trim_2), model().text(SetupField::trim_3)};
    }

    tw::testing::TestFolder folder_;
    config::Settings settings_;
    fakes::FakeClock clock_;
    fakes::FakeEventPump pump_{clock_};
    fakes::FakeSerialPort serial_;
    fakes::FakeDialogs dialogs_;
    fakes::FakeIoPorts ports_;
    platform::IoPorts* io_ports_ = &ports_;
    supervision::EventList events_{folder_ / "evtfile.dat", clock_};
    supervision::ErrorReport errors_{clock_, pump_};
    int error_location_ = 0;
    acquisition::BoardLink link_{{serial_, clock_, pump_, dialogs_, events_, errors_, error_location_}};
    tw::testing::FakeBoard board_{serial_};
    bool open_ = false, idle_ = true;
    int locks_ = 0, first_channel_shown_ = 0;
    acquisition::HardwareSetup setup_{{settings_, dialogs_, io_ports_, link_, serial_, "/station",
                                       open_, [this] { return idle_; }, [this] { ++locks_; },
                                       [this] { ++first_channel_shown_; }}};
};

TEST(ClockError, FieldsFromTheErrorAndBack) {
    using acquisition::clock_error_text;
    using acquisition::trim_fields_for_clock_error;
    using Fields = std::array<std::string, 4>;
    const std::tuple<double, Fields, const char*> cases[] = {
        {0.5, {"00", "A3", "02", "01"}, "0.50000000"},   // P = 172800 = 02A300
        {-0.5, {"00", "A3", "02", "00"}, "-0.50000000"},
        {0, {"FF", "FF", "FF", "02"}, "???"},            // no correction
        {0.001, {"FF", "FF", "FF", "02"}, "???"},        // P beyond three bytes
        {1e9, {"01", "00", "00", "01"}, "86400.00000000"},  // at least one tick
        {7, {"37", "30", "00", "01"}, "6.99991898"},     // P rounded to 12343
    };
    for (const auto& [error, fields, text] : cases) {
        EXPECT_EQ(trim_fields_for_clock_error(error), fields) << error;
        EXPECT_EQ(clock_error_text(fields), text) << error;
    }
    EXPECT_EQ(clock_error_text({"0G", "00", "00", "01"}), "???");
}

TEST_F(HardwareSetupTest, OpeningShowsTheSettingsAndTheParallelPortBits) {
    EXPECT_TRUE(open_ && locks_ == 1);  // open, with the lock of every window
    EXPECT_EQ(trim(), (std::array<std::string, 4>{"FF", "FF", "FF", "02"}));
    EXPECT_EQ(model().text(SetupField::txt_error) + model().lbl_serial, "???FFFF");
    EXPECT_EQ(model().watch_dog_bit, acquisition::bit_clear_colour);  // no port chosen

    settings_.general.lpt_port = 2;
    ports_.data[2] = 0x02;
    setup_.refresh_port_bits();
    EXPECT_EQ(std::pair(model().alarm_bit, model().watch_dog_bit),
              std::pair(acquisition::bit_set_colour, acquisition::bit_clear_colour));
    ports_.missing[2] = true;
    setup_.refresh_port_bits();
    EXPECT_EQ(model().alarm_bit, acquisition::bit_clear_colour);
}

TEST_F(HardwareSetupTest, FieldLimitsWhenLeftAndOnApply) {
    const std::tuple<SetupField, const char*, const char*> cases[] = {
        {SetupField::drum_columns, "5", "6"}, {SetupField::drum_columns, "9", "8"},
        {SetupField::drum_columns, "7", "8"}, {SetupField::drum_columns, "1", "2"},
        {SetupField::purge_time, "0", "1"},   {SetupField::purge_time, "400", "360"},
        {SetupField::wd_timer, "2", "5"},     {SetupField::wd_timer, "7.5", "8"},
        {SetupField::txt_error, "abc", "abc"}, {SetupField::trim_3, "1", "01"},
    };
    for (const auto& [field, typed, shown] : cases) {
        type(field, typed);
        EXPECT_EQ(model().text(field), shown) << typed;
    }
    setup_.set_field(SetupField::drum_columns, "5");  // Apply straight after typing
    setup_.apply_clicked();
    const auto& g = settings_.general;
    EXPECT_EQ(std::tuple(g.hours_per_row, g.watchdog_period, g.purge_days), std::tuple(6, 8, 360));
}

TEST_F(HardwareSetupTest, ApplyStoresTheWindowAndTellsOnceOfANewCommPort) {
    setup_.set_list(SetupList::comm_port, 2);
    setup_.set_list(SetupList::bmp_update, 11);
    setup_.set_flag(SetupFlag::send_sms, true);
    type(SetupField::events_browser, "/usr/bin/less");
    setup_.set_field(SetupField::txt_error, "0.5");
    setup_.clock_error_entered();
    setup_.apply_clicked();
    setup_.apply_clicked();
    EXPECT_EQ(dialogs_.messages(), std::vector<std::string>{std::string(
                              acquisition::HardwareSetup::comm_port_message) + " | Comm port change"});
    const auto& g = settings_.general;
    EXPECT_EQ(std::tuple(g.comm_port, g.bmp_update, g.send_sms, g.event_browser, g.clock_trim),
              std::tuple(2, 11, 1, "/usr/bin/less", "00A30201"));
    EXPECT_EQ(serial_.writes().size(), 0u);  // the clock error entry sends nothing

    // A calibration field that is no byte is not stored.
    type(SetupField::trim_1, "G1");
    setup_.apply_clicked();
    EXPECT_EQ(g.clock_trim, "00A30201");
    EXPECT_EQ(dialogs_.messages().size(), 2u);

    setup_.events_folder_double_clicked();  // the question's default is No
    EXPECT_EQ(model().text(SetupField::events_folder), g.events_folder);
    dialogs_.answers = {true};
    setup_.events_folder_double_clicked();
    EXPECT_EQ(model().text(SetupField::events_folder), "/station/events");
}

TEST_F(HardwareSetupTest, TextBoardsGetTheirOnlyRateAndTheirClockOptions) {
    for (const auto& [type, rate] : {std::pair{3, 10}, std::pair{2, 9}}) {
        for (auto& ch : settings_.channels) ch.sps_code = 11, ch.pre_event_minutes = 2;
        settings_.general.pc_sync = 1;
        setup_.set_list(SetupList::ad_type, type);
        setup_.apply_clicked();
        const auto& g = settings_.general;
        EXPECT_EQ(std::tuple(g.ad_type, g.pc_rtc, g.pc_sync), std::tuple(type, 1, 0));
        EXPECT_EQ(std::pair(settings_.channel(1).sps_code, settings_.channel(1).pre_event_samples),
                  std::pair(rate, config::sps_values[rate] * 120));
        for (int n = 2; n <= 4; ++n) EXPECT_EQ(settings_.channel(n).sps_code, 0);
        EXPECT_EQ(settings_.channel(4).pre_event_samples, 0);
    }
    EXPECT_EQ(first_channel_shown_, 2);
}

TEST_F(HardwareSetupTest, UnlockingNeedsThePasswordAndMayChangeIt) {
    settings_.general.settings_password = "quake";
    setup_.lock_settings_clicked(true);
    EXPECT_EQ(settings_.general.settings_locked, 1);
    const struct Case {
        std::vector<std::optional<std::string>> typed;
        std::vector<bool> answers;
        int locked;
        const char* password;
    } cases[] = {
        {{"Quake"}, {}, 1, "quake"},                     // wrong: still locked
        {{std::nullopt}, {}, 1, "quake"},                // cancelled
        {{"quake"}, {false}, 0, "quake"},                // unlocked
        {{"quake", std::nullopt}, {true}, 0, "quake"},   // new password cancelled
        {{"quake", "tremor"}, {true}, 0, "tremor"},      // changed
    };
    for (const Case& c : cases) {
        setup_.lock_settings_clicked(true);
        dialogs_.shown.clear();
        dialogs_.input_answers = c.typed;
        dialogs_.answers = c.answers;
        setup_.lock_settings_clicked(false);
        EXPECT_EQ(settings_.general.settings_locked, c.locked) << c.typed[0].value_or("-");
        EXPECT_EQ(model().flag(SetupFlag::lock_settings), c.locked == 1);
        EXPECT_EQ(settings_.general.settings_password, c.password);
        EXPECT_EQ(dialogs_.messages()[0], "Password | Lock/Unlock Settings");
        settings_.general.settings_password = "quake";
    }
    EXPECT_EQ(dialogs_.messages().back(), "PASSWORD CHANGED | Password");
}

TEST_F(HardwareSetupTest, CalibrationIsReadAndWrittenOverTheLinkWithTheBoardIdle) {
    board_.set_trim(0x00, 0xA3, 0x02, 0x00);
    board_.set_serial(0x12, 0x34, 0x12, 0x34);
    setup_.read_calibration_clicked();
    EXPECT_EQ(trim(), (std::array<std::string, 4>{"00", "A3", "02", "00"}));
    EXPECT_EQ(model().text(SetupField::txt_error) + " " + model().lbl_serial, "-0.50000000 1234");
    EXPECT_EQ(settings_.general.ad_serial, "FFFFFFFF");  // the registered board stays
    EXPECT_FALSE(model().busy);

    type(SetupField::trim_3, "01");
    setup_.write_calibration_clicked();
    EXPECT_EQ(board_.trim_text(), "00A30201");
    EXPECT_EQ(dialogs_.messages(), std::vector<std::string>{"Trimming executed. | Trimming"});
    board_.accepts_trim = false;
    type(SetupField::trim_0, "ff");
    setup_.write_calibration_clicked();
    EXPECT_EQ(dialogs_.messages().back(), "Trimming not executed | Trimming");
}

TEST_F(HardwareSetupTest, CalibrationRefusalsSendNothingToTheBoard) {
    const struct Case {
        const char* what;
        std::function<void()> arrange;
        bool read;
        const char* message;
    } cases[] = {
        {"running", [this] { idle_ = false; }, true,
         "The clock calibration can be read or written only while the acquisition is stopped: "
         "press STOP first. | Clock calibration"},
        {"text board", [this] { settings_.general.ad_type = config::lx1500; }, false,
         "Only the ORDA boards keep a clock calibration. | Trimming"},
        {"bad field", [this] { type(SetupField::trim_2, "X"); }, false,
         "Each of the four calibration fields takes two hexadecimal digits (00 to FF). | Trimming"},
    };
    for (const Case& c : cases) {
        dialogs_.shown.clear();
        idle_ = true;
        settings_.general.ad_type = config::orda10;
        setup_.load();
        c.arrange();
        c.read ? setup_.read_calibration_clicked() : setup_.write_calibration_clicked();
        EXPECT_EQ(dialogs_.messages(), std::vector<std::string>{c.message}) << c.what;
        EXPECT_TRUE(serial_.writes().empty()) << c.what;
    }

    // No board: the identification is all that goes out, and the fields stay empty.
    board_.answers = false;
    setup_.load();
    dialogs_.shown.clear();
    setup_.read_calibration_clicked();
    EXPECT_EQ(dialogs_.messages(), std::vector<std::string>{"A/D card not found. | Clock calibration"});
    EXPECT_EQ(trim(), (std::array<std::string, 4>{}));
    EXPECT_EQ(board_.identifies, 5);
    EXPECT_EQ(settings_.general.ad_serial, "FFFFFFFF");
}

}  // namespace
