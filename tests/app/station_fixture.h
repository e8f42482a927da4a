#pragma once
// A station on fakes, in a fresh temporary folder.

#include "app/station.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_serial_port.h"
#include "fakes/recording_canvas.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

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
