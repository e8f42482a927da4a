#pragma once
// The station's state as the page shows it (GET /api/status), and the
// measurement of each channel's true rate from the samples it delivered.

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace tw::web {

struct ChannelStatus {
    bool acquiring = false;          // a rate is set and acquisition runs
    double nominal_rate = 0;         // samples per second of the settings; 0: off
    std::optional<double> measured_rate;  // what the board delivered lately
    std::string code;                // "HHZ"; empty when the channel is off
    bool recording = false;          // an event is being recorded
    std::string event_start;         // "YYYY/MM/DD HH:MM:SS" while recording
    bool drum = false;               // a drum picture is drawn
    bool spectrum = false;           // the day's spectrogram is drawn
};

struct StatusSnapshot {
    std::string version;             // "V.02.22"
    std::string station_name;        // LOC
    std::string coordinates;         // COO
    std::string elevation;           // ELE
    std::string network, station, location;  // the stream codes
    std::string board;               // "ORDA 2.0 18 bits"
    std::string firmware;            // "1.80"; empty before the board answered
    bool acquiring = false;
    std::string board_time;          // "YYYY/MM/DD HH:MM:SS"; empty while stopped
    std::string time_source;         // "DCF" or "GPS"
    bool receiver_locked = false;    // the board follows its time receiver
    std::string last_sync;           // "YYYY/MM/DD HH:MM:SS" or empty
    std::optional<std::uint64_t> free_bytes;
    int buffer_fill = 0;             // bytes waiting in the serial buffer
    int buffer_size = 0;
    std::uint64_t events_recorded = 0;  // since the program started
    std::string last_event_time;     // start of the newest listed event
    std::string last_event_file;
    double uptime_seconds = 0;
    std::optional<int> seedlink_port;  // where the live traces come from
    std::array<ChannelStatus, 4> channels;
};

// The snapshot as one JSON object; times are the board's, as written.
std::string status_json(const StatusSnapshot& status);

// Samples per second of each channel over the last `window_ms`, from the
// running totals of samples taken, looked at about once a second.
class RateMeter {
public:
    static constexpr std::int64_t window_ms = 10000;

    void add(std::int64_t now_ms, const std::array<std::uint64_t, 4>& totals);
    // nullopt until two looks at least a second apart were made.
    std::optional<double> rate(int channel) const;

private:
    struct Look {
        std::int64_t ms;
        std::array<std::uint64_t, 4> totals;
    };
    std::deque<Look> looks_;
};

}  // namespace tw::web
