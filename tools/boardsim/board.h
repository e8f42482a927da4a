#pragma once
// The simulated board itself, without any port: commands in, timed packets
// out. Time is passed in by the caller as real seconds on a steady clock, so
// tests can run hours of board time in no time.
//
// The board clock ticks once per board second (1 / speed_factor real
// seconds). While sampling, each tick sends a time packet and then that
// second's samples, each channel's samples spread evenly over the second.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "boardsim/command_parser.h"
#include "boardsim/options.h"
#include "boardsim/signal_generator.h"

namespace tw::boardsim {

// One unit put on the line: a packet, a reply or a text line.
struct OutputPacket {
    std::array<std::uint8_t, 12> bytes{};
    std::uint8_t size = 0;
    double due = 0;  // real time at which it goes out
    // The sample it carries, for the record: channel 1..4, or 0 when it
    // carries none (time packets, replies, packets spoilt by a fault).
    int channel = 0;
    std::int32_t value = 0;
    int index = 0;  // place of the sample in its board second, from 0
    std::int64_t board_second = 0;

    std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
};

inline constexpr int eeprom_size = 32;

class Board {
public:
    // Board second `first_second` begins at real time `first_boundary`.
    Board(const SimulatorOptions& options, std::int64_t first_second, double first_boundary);

    // Bytes that arrived from the program at `now`. Replies are appended to
    // `out`; the commands found are appended to `commands` when given.
    void receive(std::span<const std::uint8_t> bytes, double now, std::vector<OutputPacket>& out,
                 std::vector<Command>* commands = nullptr);

    // Runs the board up to real time `now`, appending everything that falls
    // due to `out` in order. When the caller lags by more than
    // `max_catch_up_s`, the missed board seconds pass without output.
    void advance(double now, std::vector<OutputPacket>& out);
    static constexpr double max_catch_up_s = 5.0;

    // Real time of the next packet or clock tick.
    double next_event_time() const;

    bool sampling() const { return sampling_; }
    // Real time at which sampling first started (Infiltec: the first tick).
    std::optional<double> sampling_started_at() const { return sampling_started_at_; }
    // True while the board sends nothing.
    bool silent(double now) const;

    double rate(int channel) const { return rates_[static_cast<std::size_t>(channel & 3)]; }
    std::uint8_t eeprom(int address) const;
    int time_zone() const { return time_zone_; }
    // The board second begun last (what the last time packet showed, before
    // any --bad-time spoiling).
    std::int64_t current_second() const { return current_second_; }

private:
    void execute(const Command& command, double now, std::vector<OutputPacket>& out);
    void start_sampling(double now);
    void begin_second(double boundary);
    // Queues a data packet due at `due`, spoiling it as the fault options say.
    void queue_data(std::span<const std::uint8_t> bytes, double due, const OutputPacket& sample_info);
    // The sample is one the options send a byte short.
    bool is_short_packet(int channel, int time_of_day, int index) const;
    void send_now(std::span<const std::uint8_t> bytes, double now, std::vector<OutputPacket>& out);
    void emit(const OutputPacket& packet, std::vector<OutputPacket>& out);
    double boundary_time(std::int64_t tick) const;
    double random_unit();  // uniform in [0, 1)

    SimulatorOptions options_;
    SignalGenerator signal_;
    CommandParser parser_;
    std::array<std::uint8_t, eeprom_size> eeprom_{};
    std::string version_;
    int rate_base_ = 200;
    int time_zone_ = 0;

    // Clock: tick k begins at first_boundary_ + k / speed_factor and shows
    // next_second_ (then next_second_ + 1, ...).
    double first_boundary_;
    std::int64_t next_tick_ = 0;
    std::int64_t next_second_;
    std::int64_t current_second_;

    bool sampling_ = false;
    std::optional<double> sampling_started_at_;
    std::array<double, 4> rates_{};       // samples per board second, 0 = off
    std::array<double, 4> accumulated_{}; // fractional samples carried between seconds
    std::uint64_t text_lines_ = 0;        // LX1500 lines sent (every 50th ends in "A")

    std::vector<OutputPacket> pending_;   // due packets of the current second, in order
    std::size_t pending_head_ = 0;

    std::vector<bool> jump_done_;
    std::vector<bool> bad_time_done_;
    std::vector<bool> silent_at_done_;
    double silent_until_ = -1e300;        // real time; --silent-at
    std::uint64_t random_state_;
};

}  // namespace tw::boardsim
