#include "acquisition/board_clock.h"

#include "config/number_text.h"
#include "config/tables.h"
#include "supervision/error_report.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace tw::acquisition {

namespace {

// One more on a counter caption such as `badrx`.
void count_on(std::string& caption) {
    long value = 0;
    const auto* first = caption.data();
    const auto* last = first + caption.size();
    if (std::from_chars(first, last, value).ec != std::errc{}) value = 0;
    caption = std::to_string(value + 1);
}

}  // namespace

// ---------------------------------------------------------------------------

BoardClock::BoardClock(BoardClockContext context) : context_(std::move(context)) {
    set_board_date_from_pc();
}

void BoardClock::set_board_date_from_pc() {
    time_.board_date = date_text(context_.clock.now());
    if (!time_.board_time.empty())
        time_.board_date_time = time_.board_date + " " + time_.board_time;
}

bool BoardClock::set_board_date(std::string_view date) {
    if (date.size() != 10 || !stamp_seconds(date)) return false;
    time_.board_date = std::string(date);
    if (!time_.board_time.empty())
        time_.board_date_time = time_.board_date + " " + time_.board_time;
    return true;
}

void BoardClock::start_run() {
    last_minute_ = -1;
    midnight_reference_.clear();
    time_check_previous_.clear();
    sync_seen_ = false;
    clock_refusal_reported_ = false;
    time_.time_base_ready = false;
    if (on_run_started) on_run_started();
}

void BoardClock::stop_run() {
    time_.time_base_ready = false;
    time_check_previous_.clear();
    show_board_clock_ = false;
    context_.panel.utc_clock.clear();
    context_.panel.notify();
    if (on_run_stopped) on_run_stopped();
}

bool BoardClock::send_set_clock(std::string_view text) {
    const auto t = time_text_seconds(text);
    if (!t || !context_.send_command) return false;
    const std::array<char, 6> command = {static_cast<char>(0x83),
                                         static_cast<char>(*t % 60),
                                         static_cast<char>(*t / 60 % 60),
                                         static_cast<char>(*t / 3600),
                                         0,
                                         0};
    return context_.send_command(std::string_view(command.data(), command.size()));
}

void BoardClock::clear_sync_minutes() { sync_.sync_minutes.fill(0); }

bool BoardClock::handle_time_packet(std::span<const std::uint8_t> packet) {
    // 1. Only a whole time packet tells a time.
    if (packet.size() != 6) {
        count_on(context_.panel.badrx);
        context_.panel.notify();
        return false;
    }

    // 2.
    time_.previous_board_time = time_.board_time;
    int seconds = packet[1];
    int minutes = packet[2];
    int hours = packet[3];
    time_.board_status = packet[4];

    // 3-4.
    check_range(hours, minutes, seconds);
    time_.board_time = time_text(hours, minutes, seconds);

    // 5. Minute marks of the charts.
    const int minute_of_day = hours * 60 + minutes;
    if (last_minute_ < 0 || minute_of_day != last_minute_) {
        last_minute_ = minute_of_day;
        if (on_minute_mark) on_minute_mark();
    }

    // 6-7.
    advance_date_at_midnight();
    time_.board_date_time = time_.board_date + " " + time_.board_time;
    time_.seconds_of_day = hours * 3600.0 + minutes * 60.0 + seconds;

    // 8. A sample has been seen at the start of a board second: from now on
    // sample times are exact.
    if (context_.sample_path.second_start_seen()) time_.time_base_ready = true;

    // 9.
    show_measured_rate();

    // 10-11.
    note_synchronisation((time_.board_status & board_status_bit::synchronised) != 0);
    update_lock_state();

    // 12. Input lines of the hardware setup window.
    if (on_input_lines) {
        on_input_lines((time_.board_status & board_status_bit::input_line_1) ? 8 : 10,
                       (time_.board_status & board_status_bit::input_line_2) ? 8 : 10);
    }

    // 13-14.
    sync_board_from_pc();
    sync_pc_from_board();

    // 15.
    show_board_clock_ = true;
    refresh_clock_displays();

    // 16.
    if (on_second) on_second();

    // 17.
    check_jump();
    return true;
}

void BoardClock::check_range(int& hours, int& minutes, int& seconds) {
    if (seconds <= 59 && minutes <= 59 && hours <= 23) return;
    context_.event_list.append("Warning! Bad time from A/D card: " + std::to_string(hours) + ":" +
                               std::to_string(minutes) + ":" + std::to_string(seconds));
    const auto pc = context_.clock.now();
    const std::string t = time_text(pc.hour, pc.minute, pc.second);
    send_set_clock(t);
    context_.event_list.append("Warning! Time corrected to: " + t);
    hours = pc.hour;
    minutes = pc.minute;
    seconds = pc.second;
}

void BoardClock::advance_date_at_midnight() {
    // A new day starts when the time falls back to its first minutes from
    // the later part of the day. A step back inside those first minutes
    // (a corrected board clock) is not another midnight.
    const std::string& t = time_.board_time;
    if (t < "00:05:00" && t < midnight_reference_ && midnight_reference_ >= "12:00:00") {
        if (const auto day = stamp_seconds(time_.board_date)) {
            time_.board_date = stamp_text(*day + 86400).substr(0, 10);
        } else {
            time_.board_date = date_text(context_.clock.now());
        }
    }
    midnight_reference_ = t;
}

void BoardClock::show_measured_rate() {
    const int selected = context_.selected_channel;
    const int i = selected >= 1 && selected <= 4 ? selected - 1 : 0;
    const int code = context_.settings.channels[static_cast<std::size_t>(i)].sps_code;
    const double true_rate = SamplePath::true_rate_of(code);
    const auto counts = context_.sample_path.start_new_second();
    if (true_rate < 2) {
        context_.panel.true_sps = true_rate > 0 && true_rate < 0.02
                                      ? std::string("0.016")
                                      : config::plain_number(config::sps_value(code));
    } else {
        context_.panel.true_sps = std::to_string(counts[static_cast<std::size_t>(i)]);
    }
}

void BoardClock::note_synchronisation(bool synchronised) {
    sync_.synchronised_now = synchronised;
    if (!synchronised) {
        sync_seen_ = false;
        return;
    }
    if (sync_seen_) return;  // the receiver holds the bit for a while: once only
    sync_seen_ = true;

    const int minute_of_day = static_cast<int>(time_.seconds_of_day) / 60;
    sync_.sync_minutes[static_cast<std::size_t>(minute_of_day)] = 1;
    const auto stamp = stamp_seconds(time_.board_date_time);
    sync_.sync_time = stamp ? stamp_text(*stamp - 1) : time_.board_date_time;
    sync_.last_sync_pc_time = supervision::EventList::time_stamp(context_.clock.now());
    write_time_log_line();
    if (on_sync) on_sync(sync_.sync_time);
}

void BoardClock::write_time_log_line() {
    const auto pc = context_.clock.now();
    const auto& general = context_.settings.general;
    const std::string line = "SYNC:" + sync_.sync_time + " PTS:" + time_.previous_board_time +
                             " PCT:" + time_text(pc.hour, pc.minute, pc.second) + " / " +
                             std::to_string(general.pc_rtc) + " / " +
                             std::to_string(general.pc_sync) + "\r\n";
    const auto& path = context_.time_log;
    std::FILE* out = std::fopen(path.c_str(), "ab");
    if (!out) {
        if (on_error) {
            on_error(supervision::error_number::path_file_access_error,
                     "cannot write " + path.string() + ": " + std::strerror(errno));
        }
        return;
    }
    bool ok = std::fwrite(line.data(), 1, line.size(), out) == line.size();
    ok = std::fclose(out) == 0 && ok;
    if (!ok && on_error) {
        on_error(supervision::error_number::device_io_error, "cannot write " + path.string());
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > time_log_max_bytes) std::filesystem::resize_file(path, 0, ec);
}

void BoardClock::update_lock_state() {
    auto last = stamp_seconds(sync_.last_sync_pc_time);
    if (!last) {
        sync_.last_sync_pc_time = "1990/01/01 00:00:00";
        last = stamp_seconds(sync_.last_sync_pc_time);
    }
    const auto now = stamp_seconds(supervision::EventList::time_stamp(context_.clock.now()));
    const std::int64_t whole_minutes = now ? (*now - *last) / 60 : 0;
    sync_.lock_state = whole_minutes > 4 ? "NL" : "L";
}

void BoardClock::sync_board_from_pc() {
    const auto& general = context_.settings.general;
    if (general.pc_sync != 1) return;
    if (general.sync_every < 0 ||
        general.sync_every >= static_cast<int>(config::sync_period_hours.size()))
        return;
    const std::int64_t period = config::sync_period_hours[general.sync_every] * 3600LL;
    const auto pc = context_.clock.now();
    const std::int64_t of_day = pc.hour * 3600LL + pc.minute * 60LL + pc.second;
    if (of_day % period != 0) return;
    // Two packets read within the same PC second set the board once.
    const std::string t = time_text(pc.hour, pc.minute, pc.second);
    const auto stamp = stamp_seconds(date_text(pc) + " " + t);
    const std::int64_t key = stamp ? *stamp : of_day;
    if (key == last_pc_sync_second_) return;
    last_pc_sync_second_ = key;
    send_set_clock(t);
    context_.event_list.append("A/D card syncronized with PC time at: " + t);
}

void BoardClock::sync_pc_from_board() {
    const auto& general = context_.settings.general;
    if (general.pc_rtc == 1 || general.pc_sync != 0) return;
    const auto pc = context_.clock.now();
    const std::string pc_time = time_text(pc.hour, pc.minute, pc.second);
    // The minutes around midnight are left alone so that the PC date never
    // moves; the board time + 1 s must lie outside them too.
    if (!(pc_time > "00:02:00" && pc_time < "23:58:00")) return;
    const int target = static_cast<int>(time_.seconds_of_day) + 1;
    if (target <= 120 || target >= 86280) return;
    // A clock kept by the system's time service is not fought with, and a
    // clock within half a second of the board is not stepped: each step to
    // whole seconds would add jitter.
    if (context_.clock.system_clock_synchronised()) return;
    if (std::fabs(context_.clock.seconds_since_midnight() - target) <= 0.5) return;
    if (clock_refusal_reported_) return;  // refused once this run: not asked again
    std::string error;
    if (!context_.clock.set_time_of_day(target / 3600, target / 60 % 60, target % 60, &error)) {
        clock_refusal_reported_ = true;
        context_.event_list.append("PC clock not set from the A/D card time: " + error);
    }
}

void BoardClock::refresh_clock_displays() {
    supervision::PcClockTexts local;
    supervision::PcClockTexts& texts = context_.pc_clock ? *context_.pc_clock : local;
    supervision::refresh_pc_clock_texts(context_.clock, texts);
    context_.panel.realtime = texts.date_time + texts.millis;
    if (show_board_clock_) context_.panel.utc_clock = time_.board_date_time;
    context_.panel.notify();
}

void BoardClock::check_jump() {
    const std::string& now = time_.board_time;
    if (!time_check_previous_.empty()) {
        const auto previous = time_text_seconds(time_check_previous_);
        const auto current = time_text_seconds(now);
        if (previous && current) {
            const int d = *current - *previous;
            const bool midnight = now == "00:00:00" && time_check_previous_ == "23:59:59";
            if (std::abs(d) > 2 && !midnight) {
                context_.event_list.append("Warning! Too much time difference:");
                context_.event_list.append("Previous:" + time_check_previous_ +
                                           " Received:" + now);
            }
        }
    }
    time_check_previous_ = now;
}

}  // namespace tw::acquisition
