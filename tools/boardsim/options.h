#pragma once
// Everything that shapes a simulated board, and the command line that fills
// it. The defaults make a quiet, well-behaved ORDA10 board.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::boardsim {

enum class Family { orda10, orda20, infiltec, lx1500 };
std::string_view to_string(Family family);
std::optional<Family> family_from_string(std::string_view name);
// ORDA boards speak the binary protocol; the others send text lines.
bool is_orda(Family family);

enum class SignalKind {
    noise,   // Gaussian noise, `amplitude` = standard deviation in counts
    sine,    // amplitude x sin(2 pi frequency t), t in board seconds
    offset,  // a constant `amplitude`
};

struct SignalComponent {
    int channel = 1;  // 1..4
    SignalKind kind = SignalKind::noise;
    double amplitude = 0;
    double frequency_hz = 0;
};

// A quake-like burst: a weak first arrival at the onset, a strong phase whose
// envelope reaches `peak` counts, then a coda decaying over the rest of
// `duration_s`. Happens whenever the board's time of day passes `onset`, and
// again every `every_s` board seconds after it when that is set (a period
// that divides the day keeps the same times every day).
struct QuakeSpec {
    int channel = 1;        // 1..4
    int onset = 0;          // board time of day, seconds
    double peak = 0;        // counts
    double duration_s = 60; // board seconds
    int every_s = 0;        // 0: once a day
    double frequency_hz = 2;  // of the strong phase; the first arrival has three times it
    // A short loud knock instead (a door slammed, a step on the pier): a
    // 4 Hz ring of `peak` counts that dies away within `duration_s`.
    bool spike = false;
};

struct TimeJump {
    int at = 0;       // board time of day at which the clock jumps
    int seconds = 0;  // added to the board time (may be negative)
};

struct SilentSpan {
    int at = 0;       // board time of day
    int seconds = 0;  // board seconds
};

// One sample packet sent a byte short (its high data byte lost on the wire).
struct ShortPacket {
    int channel = 1;  // 1..4
    int at = 0;       // board time of day of the second
    int index = 0;    // 0-based place of the sample in that second
};

struct RealSpan {
    double after_s = 0;     // real seconds after sampling first started
    double duration_s = 0;  // real seconds
};

struct SimulatorOptions {
    Family family = Family::orda10;
    // When set, a symbolic link at this path points to the pty slave (and is
    // moved to the new one after an unplug).
    std::string link_path;
    // Identify reply "V" + 3 digits; empty: "V140" for ORDA10, "V180" for ORDA20.
    std::string version;
    // Line speed the board answers at: 0 = the family's (ORDA: 14400 and
    // 38400, Infiltec 9600, LX1500 19200), -1 = any, else that speed only.
    int speed = 0;
    std::array<std::uint8_t, 4> trim{0xFF, 0xFF, 0xFF, 0x02};  // EEPROM 1..4
    std::array<std::uint8_t, 4> serial{0x00, 0x00, 0xA1, 0xB2};  // EEPROM 16..19
    // Board time at start; empty: the PC's local time.
    std::optional<std::int64_t> start_time;
    double speed_factor = 1;  // board seconds per real second
    // Signal of each channel: the sum of its components; a channel without
    // any gets `default_noise` counts of noise.
    std::vector<SignalComponent> signals;
    std::vector<QuakeSpec> quakes;
    static constexpr double default_noise = 10;
    std::uint64_t seed = 1;
    // Sample clock error: each channel sends rate x (1 + ppm / 1e6) samples
    // per board second on average.
    double drift_ppm = 0;
    int sync_every = 0;  // status 0x20 every N board seconds; 0 = never
    // Board time of day from which the time receiver has lost its signal (no
    // more 0x20); none: it never does.
    std::optional<int> sync_lost_at;
    bool dcf_daylight = false;
    std::array<bool, 2> line_active{false, false};
    std::vector<TimeJump> time_jumps;
    std::vector<int> bad_times;  // board times of day sent once as an impossible time
    double bad_packet_rate = 0;
    double lost_terminator_rate = 0;
    std::vector<ShortPacket> short_packets;
    std::vector<SilentSpan> silent_at;
    std::optional<RealSpan> silent_after;
    std::optional<RealSpan> unplug_after;
    double infiltec_rate = 10;  // lines per board second
    double lx1500_rate = 10;    // lines per board second
    std::string log_path;
    std::string record_path;

    std::string resolved_version() const;
    // Speeds accepted; empty means any.
    std::vector<int> accepted_speeds() const;
    bool eighteen_bit() const { return family == Family::orda20; }
};

struct ParsedCommandLine {
    SimulatorOptions options;
    bool help = false;
    std::string error;  // empty when the command line is good
};

// Parses the arguments after the program name. "--name value" and
// "--name=value" are both accepted.
ParsedCommandLine parse_command_line(const std::vector<std::string>& arguments);
std::string usage_text();

}  // namespace tw::boardsim
