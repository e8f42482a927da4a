#pragma once
// A recorder wired as the station wires it: conditioning, detector and event
// logic over one settings record, files in a temporary station folder.

#include "config/settings_file.h"
#include "display/conditioning.h"
#include "events/event_recorder.h"
#include "fakes/fake_platform.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace tw::events::testing {

namespace fs = std::filesystem;

using tw::testing::read_lines;
inline std::string read_bytes(const fs::path& path) { return tw::testing::read_file(path); }

class FakePrinter : public platform::Printer {
public:
    bool begin_job(std::string*) override { return open = true, ++jobs, true; }
    bool print_line(const std::string& line, std::string*) override { return lines.push_back(line), true; }
    bool end_job(std::string*) override { return open = false, ++ended, true; }
    bool job_open() const override { return open; }
    bool open = false;
    int jobs = 0, ended = 0;
    std::vector<std::string> lines;
};

struct ReportedError {
    int error_number, location;
    std::string detail;
};

class RecorderFixture : public ::testing::Test {
protected:
    RecorderFixture() {
        fs::create_directories(folder / "events");
        clock.set(2003, 2, 3, 12, 35, 0);
        settings.general.events_folder = (folder / "events").string();
        settings.general.location = "Test Station", settings.general.coordinates = "14.39N 12.33E";
        settings.general.elevation = "120", settings.sync_source_text = "DCF";
        for (int k = 1; k <= 4; ++k) {
            config::ChannelSettings& ch = settings.channel(k);
            ch.sps_code = 10, ch.record_enabled = 1, ch.file_extension = "z" + std::to_string(k);  // 50 per second
            ch.start_params = "1000,2,0.1,1,30,3";  // 300 pre-event samples
            ch.stop_params = "500,0.02,2,1";        // 60 coda samples, at most 3000
            config::expand_start_params(ch), config::expand_stop_params(ch);
        }
        event_list = std::make_unique<supervision::EventList>(folder / "evtfile.dat", clock);
        conditioner = std::make_unique<display::SampleConditioner>(settings, panel);
        recorder = std::make_unique<EventRecorder>(EventContext{
            settings, flags, panel, *event_list, *conditioner, board_date_time, time_base_ready,
            lock_state, board_reply, folder.path(), &printer});
        recorder->on_error = [this](int number, int at, const std::string& detail) { errors.push_back({number, at, detail}); };
    }
    // START with the settings as they are now.
    void start() { conditioner->start_run(), recorder->start_run(); }
    void feed(int channel, std::int32_t value, const char* millis = ".000") {
        acquisition::SampleOutput s;
        s.channel = channel - 1;
        s.sample_value = value;
        s.millis = {millis[0], millis[1], millis[2], millis[3]};
        // The station's order: conditioning, ring, offset, detector, events.
        display::ConditionedSample c = conditioner->condition(s);
        conditioner->store_in_ring(c);
        conditioner->follow_offset(c);
        recorder->update_detector(c);
        recorder->process_sample(c);
    }
    bool active(int k) const { return flags.event_active[static_cast<std::size_t>(k - 1)]; }
    fs::path event_path(int k) const {
        return fs::path(settings.general.events_folder) / recorder->channel(k).event_file_name;
    }
    // Sample lines of a PSN file (after "Data:").
    std::vector<std::string> data_lines(const fs::path& path) const {
        auto lines = read_lines(path);
        const auto data = std::find(lines.begin(), lines.end(), "Data:");
        lines.erase(lines.begin(), data == lines.end() ? data : data + 1);
        return lines;
    }

    tw::testing::TestFolder folder;
    fakes::FakeClock clock;
    config::Settings settings;
    supervision::PanelModel panel;
    EventFlags flags;
    std::string board_date_time = "2003/02/03 12:34:56";
    bool time_base_ready = true;
    std::string lock_state = "L";
    std::string board_reply = "ORDA V.1.80";
    FakePrinter printer;
    std::unique_ptr<supervision::EventList> event_list;
    std::unique_ptr<display::SampleConditioner> conditioner;
    std::unique_ptr<EventRecorder> recorder;
    std::vector<ReportedError> errors;
};

}  // namespace tw::events::testing
