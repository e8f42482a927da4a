#pragma once
// A station on fakes, in a fresh temporary folder.

#include "app/station.h"
#include "config/settings_file.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_serial_port.h"
#include "fakes/recording_canvas.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace tw::testing {

class StationTest : public ::testing::Test {
protected:
    StationTest() : pump_(clock_) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::temp_directory_path() /
                  (std::string("tw_station_") + info->test_suite_name() + "_" + info->name());
        std::filesystem::remove_all(folder_);
        clock_.set(2003, 2, 3, 12, 34, 56);
    }
    ~StationTest() override { std::filesystem::remove_all(folder_); }

    app::Station& station() {
        if (!station_) {
            station_ = std::make_unique<app::Station>(
                folder_, app::Services{serial_, clock_, dialogs_, disk_, launcher_, pump_,
                                       nullptr, nullptr, nullptr, &images_});
        }
        return *station_;
    }

    // New-file settings for the board the fake board plays (an ORDA10 of
    // serial 0000A1B2), the PC clock left alone, the events folder made.
    void use_fake_board_settings() {
        std::filesystem::create_directories(folder_ / "events");
        auto& g = station().settings.general;
        config::apply_new_file_values(station().settings, folder_.string());
        g.ad_type = config::orda10, g.ad_serial = "0000A1B2", g.pc_rtc = 1;
    }
    // Event list lines without their time stamps.
    std::vector<std::string> event_texts() {
        std::vector<std::string> texts;
        for (const auto& line : station().event_list.read_lines()) texts.push_back(line.size() > 20 ? line.substr(20) : line);
        return texts;
    }
    // The texts of the dialogs of one kind ("warning", "message") shown so far.
    std::vector<std::string> texts_of(const std::string& kind) const {
        std::vector<std::string> texts;
        for (const auto& shown : dialogs_.shown)
            if (shown.kind == kind) texts.push_back(shown.text);
        return texts;
    }

    std::filesystem::path folder_;
    fakes::FakeClock clock_;
    fakes::FakeEventPump pump_;
    fakes::FakeSerialPort serial_;
    fakes::FakeDialogs dialogs_;
    fakes::FakeDisk disk_;
    fakes::FakeLauncher launcher_;
    fakes::FakeImageFiles images_;
    std::unique_ptr<app::Station> station_;
};

}  // namespace tw::testing
