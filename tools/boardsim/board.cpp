#include "boardsim/board.h"

#include <algorithm>
#include <cmath>

#include "boardsim/board_time.h"
#include "boardsim/encoder.h"

namespace tw::boardsim {

Board::Board(const SimulatorOptions& options, std::int64_t first_second, double first_boundary)
    : options_(options),
      signal_(options),
      parser_(options.family == Family::lx1500),
      version_(options.resolved_version()),
      rate_base_(rate_base(version_)),
      first_boundary_(first_boundary),
      next_second_(first_second),
      current_second_(first_second - 1),
      jump_done_(options.time_jumps.size(), false),
      bad_time_done_(options.bad_times.size(), false),
      silent_at_done_(options.silent_at.size(), false),
      random_state_(splitmix64(options.seed ^ 0x5EEDF00Dull)) {
    eeprom_.fill(0xFF);
    for (std::size_t i = 0; i < 4; ++i) {
        eeprom_[1 + i] = options.trim[i];
        eeprom_[16 + i] = options.serial[i];
    }
    if (options_.family == Family::infiltec) {
        // The Infiltec has no commands: it sends from the first tick on.
        sampling_ = true;
        sampling_started_at_ = first_boundary;
        rates_[0] = options_.infiltec_rate;
    }
}

std::uint8_t Board::eeprom(int address) const {
    return address >= 0 && address < eeprom_size ? eeprom_[static_cast<std::size_t>(address)] : 0xFF;
}

double Board::random_unit() {
    random_state_ = splitmix64(random_state_);
    return static_cast<double>(random_state_ >> 11) / 9007199254740992.0;
}

double Board::boundary_time(std::int64_t tick) const {
    return first_boundary_ + static_cast<double>(tick) / options_.speed_factor;
}

bool Board::silent(double now) const {
    if (now < silent_until_) return true;
    if (options_.silent_after && sampling_started_at_) {
        const double from = *sampling_started_at_ + options_.silent_after->after_s;
        if (now >= from && now < from + options_.silent_after->duration_s) return true;
    }
    return false;
}

void Board::emit(const OutputPacket& packet, std::vector<OutputPacket>& out) {
    if (!silent(packet.due)) out.push_back(packet);
}

void Board::send_now(std::span<const std::uint8_t> bytes, double now,
                     std::vector<OutputPacket>& out) {
    OutputPacket packet;
    packet.size = static_cast<std::uint8_t>(std::min(bytes.size(), packet.bytes.size()));
    std::copy_n(bytes.begin(), packet.size, packet.bytes.begin());
    packet.due = now;
    emit(packet, out);
}

void Board::receive(std::span<const std::uint8_t> bytes, double now,
                    std::vector<OutputPacket>& out, std::vector<Command>* commands) {
    if (options_.family == Family::infiltec) return;  // it listens to nothing
    std::vector<Command> found;
    parser_.feed(bytes, now, found);
    for (const Command& command : found) {
        execute(command, now, out);
        if (commands) commands->push_back(command);
    }
}

void Board::start_sampling(double now) {
    if (!sampling_) {
        // A new run starts with the next tick; whatever was queued is dropped.
        pending_.clear();
        pending_head_ = 0;
        accumulated_.fill(0);
    }
    sampling_ = true;
    if (!sampling_started_at_) sampling_started_at_ = now;
}

void Board::execute(const Command& command, double now, std::vector<OutputPacket>& out) {
    const auto& b = command.bytes;
    switch (command.type) {
    case CommandType::identify: {
        const auto* text = reinterpret_cast<const std::uint8_t*>(version_.data());
        send_now({text, version_.size()}, now, out);
        break;
    }
    case CommandType::set_time_zone:
        time_zone_ = static_cast<std::int8_t>(b[1]);
        break;
    case CommandType::set_clock: {
        const int seconds = b[1], minutes = b[2], hours = b[3];
        // An impossible time is ignored, as the board's firmware would not
        // load it into its clock.
        if (seconds > 59 || minutes > 59 || hours > 23) break;
        // The date stays; the next time packet shows the new time.
        next_second_ = day_of(current_second_) * seconds_per_day + hours * 3600 + minutes * 60 + seconds;
        break;
    }
    case CommandType::start_stop: {
        bool any = false;
        for (std::size_t c = 0; c < 4; ++c) {
            rates_[c] = channel_rate(b[1 + c], rate_base_);
            any = any || b[1 + c] != 0;
        }
        // A new start command restarts sampling at the next tick.
        sampling_ = false;
        pending_.clear();
        pending_head_ = 0;
        if (any) start_sampling(now);
        break;
    }
    case CommandType::write_trim:
        std::copy(b.begin() + 1, b.begin() + 5, eeprom_.begin() + 1);
        break;
    case CommandType::read_eeprom: {
        const auto reply = encode_eeprom_reply(eeprom(b[1]), sampling_);
        send_now(reply, now, out);
        break;
    }
    case CommandType::lx_go:
    case CommandType::lx_done:
        rates_[0] = options_.lx1500_rate;
        start_sampling(now);
        break;
    case CommandType::lx_standby:
        sampling_ = false;
        pending_.clear();
        pending_head_ = 0;
        break;
    }
}

void Board::queue_data(std::span<const std::uint8_t> bytes, double due,
                       const OutputPacket& sample_info) {
    OutputPacket packet = sample_info;
    packet.due = due;
    packet.size = static_cast<std::uint8_t>(std::min(bytes.size(), packet.bytes.size()));
    std::copy_n(bytes.begin(), packet.size, packet.bytes.begin());
    if (options_.bad_packet_rate > 0 && random_unit() < options_.bad_packet_rate) {
        packet.channel = 0;  // never arrives as sent
        if (random_unit() < 0.5 || packet.size < 3) {
            // Garbage: 1..5 random bytes instead of the packet.
            packet.size = static_cast<std::uint8_t>(1 + static_cast<int>(random_unit() * 5));
            for (std::size_t i = 0; i < packet.size; ++i) {
                packet.bytes[i] = static_cast<std::uint8_t>(random_unit() * 256);
            }
        } else {
            // Truncated: one byte between the first and the last is lost.
            const auto drop = 1 + static_cast<std::size_t>(random_unit() * (packet.size - 2));
            std::copy(packet.bytes.begin() + static_cast<std::ptrdiff_t>(drop) + 1,
                      packet.bytes.begin() + packet.size, packet.bytes.begin() + static_cast<std::ptrdiff_t>(drop));
            --packet.size;
        }
    } else if (options_.lost_terminator_rate > 0 && random_unit() < options_.lost_terminator_rate) {
        packet.channel = 0;
        --packet.size;
    }
    pending_.push_back(packet);
}

void Board::begin_second(double boundary) {
    // Clock events of the second about to be shown.
    for (std::size_t i = 0; i < options_.time_jumps.size(); ++i) {
        if (!jump_done_[i] && time_of_day(next_second_) == options_.time_jumps[i].at) {
            jump_done_[i] = true;
            next_second_ += options_.time_jumps[i].seconds;
        }
    }
    const std::int64_t shown = next_second_;
    current_second_ = shown;
    ++next_second_;
    const int tod = time_of_day(shown);
    for (std::size_t i = 0; i < options_.silent_at.size(); ++i) {
        if (!silent_at_done_[i] && tod == options_.silent_at[i].at) {
            silent_at_done_[i] = true;
            silent_until_ = boundary + options_.silent_at[i].seconds / options_.speed_factor;
        }
    }
    if (!sampling_) return;

    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pending_head_));
    pending_head_ = 0;
    const bool orda = is_orda(options_.family);
    if (orda) {
        int seconds = tod % 60;
        for (std::size_t i = 0; i < options_.bad_times.size(); ++i) {
            if (!bad_time_done_[i] && tod == options_.bad_times[i]) {
                bad_time_done_[i] = true;
                seconds = 60;
            }
        }
        std::uint8_t status = 0;
        if (!options_.line_active[0]) status |= status_first_line_inactive;
        if (!options_.line_active[1]) status |= status_second_line_inactive;
        if (options_.dcf_daylight) status |= status_dcf_daylight;
        const bool receiving = !options_.sync_lost_at || tod < *options_.sync_lost_at;
        if (options_.sync_every > 0 && shown % options_.sync_every == 0 && receiving)
            status |= status_synchronised;
        const auto packet = encode_time_packet(seconds, tod / 60 % 60, tod / 3600, status);
        queue_data(packet, boundary, OutputPacket{});
    }

    const std::size_t first_sample = pending_.size();
    const double tick = 1.0 / options_.speed_factor;
    const double drift = 1.0 + options_.drift_ppm / 1e6;
    const bool eighteen = options_.eighteen_bit();
    for (int c = 0; c < 4; ++c) {
        const double rate = rates_[static_cast<std::size_t>(c)];
        if (rate <= 0) continue;
        double& carried = accumulated_[static_cast<std::size_t>(c)];
        carried += rate * drift;
        const double whole = std::floor(carried + 1e-9);
        carried -= whole;
        const int count = static_cast<int>(whole);
        for (int i = 0; i < count; ++i) {
            OutputPacket info;
            info.channel = c + 1;
            info.index = i;
            info.board_second = shown;
            info.value = clamp_sample(std::llround(signal_.value(c, shown, i, count)), eighteen);
            const double due = boundary + tick * i / count;
            if (orda) {
                const auto packet = encode_sample(c, info.value, eighteen);
                if (is_short_packet(c + 1, tod, i)) {
                    // The high data byte is lost on the wire; the board meant
                    // to send the sample, so it stays in the record.
                    const std::array<std::uint8_t, 3> shortened{packet[0], packet[1], packet[3]};
                    queue_data(shortened, due, info);
                } else {
                    queue_data(packet, due, info);
                }
            } else if (options_.family == Family::infiltec) {
                const std::string line = encode_infiltec_line(info.value);
                queue_data({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()}, due, info);
            } else {
                const char end = ++text_lines_ % 50 == 0 ? 'A' : 'S';
                const std::string line = encode_lx1500_line(info.value, end);
                queue_data({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()}, due, info);
            }
        }
    }
    // Interleave the channels by time; the time packet stays first.
    std::stable_sort(pending_.begin() + static_cast<std::ptrdiff_t>(first_sample), pending_.end(),
                     [](const OutputPacket& a, const OutputPacket& b) { return a.due < b.due; });
}

bool Board::is_short_packet(int channel, int time_of_day, int index) const {
    return std::any_of(options_.short_packets.begin(), options_.short_packets.end(),
                       [&](const ShortPacket& p) {
                           return p.channel == channel && p.at == time_of_day && p.index == index;
                       });
}

double Board::next_event_time() const {
    const double boundary = boundary_time(next_tick_);
    if (pending_head_ < pending_.size()) return std::min(boundary, pending_[pending_head_].due);
    return boundary;
}

void Board::advance(double now, std::vector<OutputPacket>& out) {
    if (now - boundary_time(next_tick_) > max_catch_up_s) {
        // The caller was stopped for a while: the board's clock ran on, but
        // what it sent meanwhile is lost.
        const auto missed = static_cast<std::int64_t>(
            std::floor((now - boundary_time(next_tick_)) * options_.speed_factor));
        next_tick_ += missed;
        next_second_ += missed;
        pending_.clear();
        pending_head_ = 0;
    }
    for (;;) {
        const double boundary = boundary_time(next_tick_);
        if (pending_head_ < pending_.size() && pending_[pending_head_].due <= now &&
            pending_[pending_head_].due < boundary) {
            emit(pending_[pending_head_++], out);
            continue;
        }
        if (boundary <= now) {
            while (pending_head_ < pending_.size()) emit(pending_[pending_head_++], out);
            begin_second(boundary);
            ++next_tick_;
            continue;
        }
        break;
    }
    if (pending_head_ == pending_.size()) {
        pending_.clear();
        pending_head_ = 0;
    }
}

}  // namespace tw::boardsim
