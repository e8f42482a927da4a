#pragma once
// What the board clock, the trimming window and the time setting window need
// from a station, on fakes, in a fresh folder per test.

#include "acquisition/board_clock.h"
#include "acquisition/packet_decoder.h"
#include "fakes/fake_platform.h"
#include "fakes/test_files.h"

#include <string>
#include <vector>

namespace tw::acquisition::clock_testing {

class ClockStation {
public:
    ClockStation() {
        clock.set(2003, 2, 3, 12, 0, 0);
        settings.general.pc_rtc = 1;  // the PC clock is not followed unless a test asks for it
        settings.channels[0].sps_code = 11;  // 100 samples per second
        sample_path.start_run(config::orda10, settings);
    }

    tw::testing::TestFolder test_folder;
    std::filesystem::path folder = test_folder.path();
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
        const auto send = [this](std::string_view bytes) {
            if (port_refuses) return false;
            commands.emplace_back(bytes);
            return true;
        };
        return BoardClockContext{settings, clock, event_list, panel, sample_path, send, folder / "timefile.txt",
                                 selected_channel, &pc_clock};
    }

    // Event list lines without their time stamps.
    std::vector<std::string> events() const {
        std::vector<std::string> texts;
        for (const auto& line : event_list.read_lines()) texts.push_back(line.size() > 20 ? line.substr(20) : line);
        return texts;
    }
};

inline std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values) text.push_back(static_cast<char>(v));
    return text;
}

// Hands the board clock one time packet, or a packet of any bytes.
inline bool time_packet(BoardClock& board_clock, int hours, int minutes, int seconds, int status = 0) {
    return board_clock.handle_time_packet(
        encode_time_packet(hours, minutes, seconds, static_cast<std::uint8_t>(status)));
}
inline bool raw_packet(BoardClock& board_clock, std::initializer_list<int> values) {
    const std::string b = bytes(values);
    return board_clock.handle_time_packet(std::span(reinterpret_cast<const std::uint8_t*>(b.data()), b.size()));
}

}  // namespace tw::acquisition::clock_testing
