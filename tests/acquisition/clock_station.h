#pragma once
// What the board clock, the trimming window and the time setting window need
// from a station, on fakes, in a fresh folder per test.

#include "acquisition/board_clock.h"
#include "acquisition/packet_decoder.h"
#include "fakes/fake_platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tw::acquisition::clock_testing {

class ClockStation {
public:
    ClockStation() {
        clock.set(2003, 2, 3, 12, 0, 0);
        // The PC clock is not followed unless a test asks for it.
        settings.general.pc_rtc = 1;
        settings.channels[0].sps_code = 11;  // 100 samples per second
        sample_path.start_run(config::orda10, settings);
    }
    ~ClockStation() { std::filesystem::remove_all(folder); }

    static std::filesystem::path fresh_folder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        auto path = std::filesystem::temp_directory_path() /
                    ("tw_clock_" + std::to_string(::getpid()) + "_" + info->name());
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        return path;
    }

    std::filesystem::path folder = fresh_folder();
    fakes::FakeClock clock;
    config::Settings settings;
    supervision::EventList event_list{folder / "evtfile.dat", clock};
    supervision::PanelModel panel;
    supervision::PcClockTexts pc_clock;
    SamplePath sample_path;
    int selected_channel = 1;
    std::vector<std::string> commands;  // every command sent to the board
    bool port_refuses = false;

    BoardClockContext context() {
        return BoardClockContext{settings,
                                 clock,
                                 event_list,
                                 panel,
                                 sample_path,
                                 [this](std::string_view bytes) {
                                     if (port_refuses) return false;
                                     commands.emplace_back(bytes);
                                     return true;
                                 },
                                 folder / "timefile.txt",
                                 selected_channel,
                                 &pc_clock};
    }

    // Event list lines without their time stamps.
    std::vector<std::string> events() const {
        std::vector<std::string> texts;
        for (const auto& line : event_list.read_lines()) {
            texts.push_back(line.size() > 20 ? line.substr(20) : line);
        }
        return texts;
    }
};

inline std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values) text.push_back(static_cast<char>(v));
    return text;
}

// Hands the board clock one time packet.
inline bool time_packet(BoardClock& board_clock, int hours, int minutes, int seconds,
                        int status = 0) {
    const auto packet = encode_time_packet(hours, minutes, seconds,
                                           static_cast<std::uint8_t>(status));
    return board_clock.handle_time_packet(packet);
}

// Hands the board clock a packet of any bytes.
inline bool raw_packet(BoardClock& board_clock, std::initializer_list<int> values) {
    const std::string b = bytes(values);
    return board_clock.handle_time_packet(
        std::span(reinterpret_cast<const std::uint8_t*>(b.data()), b.size()));
}

}  // namespace tw::acquisition::clock_testing
