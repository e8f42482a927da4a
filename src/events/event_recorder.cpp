#include "events/event_recorder.h"

#include "config/number_text.h"
#include "config/station_paths.h"
#include "config/tables.h"
#include "config/time_stamp.h"
#include "events/event_texts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tw::events {

namespace {

constexpr std::string_view counter_file_name = "numevt.dat";
constexpr std::string_view sms_file_name = "sendsms.txt";
constexpr std::string_view mail_file_name = "sendmail.txt";

double magnitude(std::int32_t value) { return std::abs(static_cast<double>(value)); }

std::string number(double value) { return config::plain_number(value); }

}  // namespace

EventRecorder::EventRecorder(EventContext context) : context_(std::move(context)) {}

std::filesystem::path EventRecorder::events_folder() const {
    return config::events_folder_path(context_.settings.general, context_.station_folder);
}

void EventRecorder::report(int error_number, int code, const std::string& detail) {
    if (on_error) on_error(error_number, code, detail);
}

void EventRecorder::trace(const std::string& line) {
    if (context_.settings.general.service_mode && on_trace) on_trace(line);
}

void EventRecorder::start_run() {
    stop_run();
    apply_tuning();
    for (int k = 1; k <= 4; ++k) {
        channel(k).forced_trigger = no_request;
        channel(k).armed = false;
        context_.flags.event_active[static_cast<std::size_t>(k - 1)] = false;
        context_.panel.man_record[static_cast<std::size_t>(k - 1)] = "REC";
    }
    reset_windows();
    context_.panel.notify();
}

void EventRecorder::reset_windows() {
    for (int k = 1; k <= 4; ++k) {
        const config::ChannelSettings& cs = context_.settings.channel(k);
        const double rate = config::sps_value(cs.sps_code);
        ChannelEventState& ch = channel(k);
        ch.detector.sta_samples = cs.sta_seconds * rate;
        ch.detector.lta_samples = cs.lta_seconds * rate;
        ch.duration_samples = tuning_.channel(k).min_duration * rate;
        ch.filter = BandFilter(tuning_.channel(k).filter, rate);
    }
}

void EventRecorder::apply_tuning() {
    std::vector<std::string> problems;
    tuning_ = read_trigger_tuning(context_.settings.extra, &problems);
    for (const std::string& p : drop_refused_tuning(tuning_, context_.settings)) problems.push_back(p);
    for (const std::string& p : problems) {
        const std::string line = "Trigger setting refused: " + p;
        if (on_tuning_problem) {
            on_tuning_problem(line);
        } else if (!context_.dry_run) {
            context_.event_list.append(line);
        }
    }
    reset_windows();
}

void EventRecorder::stop_run() {
    for (int k = 1; k <= 4; ++k) {
        if (event_active(k)) end_event(k);
    }
}

void EventRecorder::update_detector(const display::ConditionedSample& sample) {
    set_location(location::detector);
    const int k = sample.channel;
    ChannelEventState& ch = channel(k);
    ch.level_input = ch.filter.active() ? ch.filter.filter(sample.detector_input) : sample.detector_input;
    events::update_detector(ch.detector, ch.level_input);
    if (live_values_channel_ == k && on_live_values) {
        on_live_values(k, live_values(ch.detector, sample.offset_mean));
    }
}

void EventRecorder::process_sample(const display::ConditionedSample& sample) {
    const int k = sample.channel;
    if (!event_active(k)) {
        const bool forced = channel(k).forced_trigger == start_request;
        if (evaluate_trigger(k, sample.conditioned_sample)) {
            if (!forced && tuning_.coincidence()) {
                const auto second = config::stamp_seconds(context_.board_date_time);
                const double now = static_cast<double>(second.value_or(0)) +
                                   (sample.source ? sample.source->second_fraction : 0.0);
                if (!coincidence_reached(k, now)) return;
            }
            start_event(k, sample.source ? sample.source->millis_text() : std::string_view(".000"));
        }
    } else {
        record_event_sample(k, sample.conditioned_sample);
    }
}

bool EventRecorder::coincidence_reached(int k, double now) {
    channel(k).armed = true;
    channel(k).triggered_at = now;
    double sum = 0;
    for (int j = 1; j <= 4; ++j) {
        const ChannelEventState& c = channel(j);
        if (!context_.settings.channel(j).record_enabled) continue;
        const bool on = event_active(j) ||
                        (c.armed && now - c.triggered_at <= tuning_.coincidence_window &&
                         now >= c.triggered_at);
        if (on) sum += tuning_.channel(j).weight;
    }
    // Weights are typed decimals: a sum that misses K by rounding counts.
    if (sum + 1e-9 < tuning_.coincidence_sum) return false;
    for (int j = 1; j <= 4; ++j) {
        ChannelEventState& c = channel(j);
        if (j != k && c.armed && !event_active(j) && now - c.triggered_at <= tuning_.coincidence_window)
            c.forced_trigger = start_request;
        c.armed = false;
    }
    return true;
}

bool EventRecorder::evaluate_trigger(int k, std::int32_t conditioned_sample) {
    const config::ChannelSettings& cs = context_.settings.channel(k);
    ChannelEventState& ch = channel(k);
    bool trigger_now = false;
    bool above = false;
    if (cs.trigger_mode == 0) {
        // With a band filter the level is the filter's output.
        const double level = ch.filter.active() ? std::abs(ch.level_input) : magnitude(conditioned_sample);
        if (level > cs.start_amplitude) {
            ch.over_start_count += 1;
            trigger_now = ch.over_start_count > cs.samples_over_start ||
                          ch.over_start_count > count_limit;
        } else {
            ch.over_start_count = 0;
        }
        // The signal swings through 0 every half cycle: what must hold is
        // its half-cycle amplitude.
        above = std::max(ch.detector.half_cycle_amplitude, ch.detector.half_cycle_peak) > cs.start_amplitude;
    } else {
        trigger_now = ch.detector.sta_lta_ratio > cs.start_ratio;
        above = trigger_now;
    }
    if (ch.duration_samples > 0) {
        ch.held_samples = above ? ch.held_samples + 1 : 0;
        if (ch.held_samples < ch.duration_samples) trigger_now = false;
    }
    if (ch.forced_trigger == start_request) trigger_now = true;
    if (!context_.time_base_ready) trigger_now = false;
    // A start request of a channel whose recording is off stays pending.
    return cs.record_enabled != 0 && trigger_now;
}

void EventRecorder::start_event(int k, std::string_view millis_text) {
    const std::size_t i = static_cast<std::size_t>(k - 1);
    const config::ChannelSettings& cs = context_.settings.channel(k);
    ChannelEventState& ch = channel(k);

    context_.flags.event_active[i] = true;
    ++events_started_;
    ch.under_stop_count = 0;
    ch.event_samples = 0;
    ch.write_error_reported = false;
    set_location(location::event_start);

    if (cs.extend_trigger) {
        for (int j = 1; j <= 4; ++j) {
            if (!event_active(j) && context_.settings.channel(j).record_enabled) {
                channel(j).forced_trigger = start_request;
            }
        }
    }
    context_.panel.man_record[i] = "STOP";
    ch.event_start_text = event_start_text(context_.board_date_time, cs.pre_event_minutes);
    ch.trigger_text = context_.board_date_time + std::string(millis_text);
    context_.panel.ch_val_color[i] = ch_val_recording_color;

    open_event_file(k, millis_text);
    context_.panel.notify();
}

void EventRecorder::open_event_file(int k, std::string_view millis_text) {
    const config::ChannelSettings& cs = context_.settings.channel(k);
    ChannelEventState& ch = channel(k);

    // The pre-event section: the samples before the trigger, aligned on the
    // Start Time's second. Soon after START the ring holds fewer samples than
    // the section would take: only those the board sent go in, and the Start
    // Time becomes the time of the first of them.
    const double rate = config::sps_value(cs.sps_code);
    const double n_setting = std::min(cs.pre_event_samples, double(display::pre_event_ring_capacity));
    const int n = n_setting > 0 ? static_cast<int>(n_setting) : 0;
    const int p = context_.conditioner.ring_position(k);
    const int k0 = pre_event_skip(rate, millis_text);
    std::vector<std::int32_t> section = pre_event_section(context_.conditioner.ring(k), n, p, k0);
    const std::int64_t available = context_.conditioner.ring_count(k);
    if (available < static_cast<std::int64_t>(section.size())) {
        const ShortPreEvent short_section = short_pre_event(available, rate, millis_text);
        const auto keep = std::min<std::size_t>(static_cast<std::size_t>(short_section.keep),
                                                section.size());
        section.erase(section.begin(), section.end() - static_cast<std::ptrdiff_t>(keep));
        if (const auto t = config::stamp_seconds(context_.board_date_time))
            ch.event_start_text = config::stamp_text(*t - short_section.seconds_before);
    }
    if (context_.dry_run) {
        ch.event_samples += static_cast<double>(section.size());
        return;
    }

    // Counter file first: a failure there does not keep the event from
    // being written.
    std::array<std::string, 4> start_texts;
    for (int j = 1; j <= 4; ++j) start_texts[static_cast<std::size_t>(j - 1)] = channel(j).event_start_text;
    FileError counter_error;
    if (update_event_counter(context_.station_folder / counter_file_name, k, start_texts,
                             &counter_error) < 0) {
        report(counter_error.error_number, location::event_start, counter_error.detail);
    }

    ch.event_file_name = event_file_name(ch.event_start_text, cs.file_extension);
    set_location(location::event_file_open);
    const HeaderFields fields =
        header_fields(context_.settings, k, ch.event_start_text, context_.lock_state,
                      context_.board_reply);
    ch.file_format = fields.event_format;
    const bool opened = ch.file.open(events_folder() / ch.event_file_name, event_header(fields));
    if (!ch.file.notice().empty()) context_.event_list.append(ch.file.notice());
    if (!opened) {
        // The event runs its course without a file; the next event tries
        // again.
        ch.write_error_reported = true;
        report(ch.file.error().error_number, location::event_file_open, ch.file.error().detail);
    } else {
        // Another event of the same second has the name: the summary names
        // the file this one went to.
        ch.event_file_name = ch.file.path().filename().string();
        if (ch.file.failed()) note_write_failure(k, location::event_file_open);
    }

    const int ch_index = k - 1;
    trace("startime(" + std::to_string(ch_index) + ")=" + ch.event_start_text + " ad_timer$(" +
          std::to_string(ch_index) + ")=" + std::string(millis_text) + " xspsv=" + number(rate));
    trace("ncamp: " + std::to_string(k0) + " z1:" + std::to_string(p + 1) +
          " z2:" + std::to_string(n));

    for (const std::int32_t v : section) ch.file.append_sample(v);
    ch.event_samples += static_cast<double>(section.size());
    // The pre-event section goes to disk now, so that a full disk or a
    // vanished folder shows up at the start.
    if (opened && !ch.file.flush()) note_write_failure(k, location::event_file_open);

    trace("l_evento(" + std::to_string(ch_index) + ")=" + number(ch.event_samples));
}

void EventRecorder::note_write_failure(int k, int code) {
    ChannelEventState& ch = channel(k);
    if (ch.write_error_reported) return;
    ch.write_error_reported = true;
    report(ch.file.error().error_number, code, ch.file.error().detail);
}

void EventRecorder::record_event_sample(int k, std::int32_t conditioned_sample) {
    config::ChannelSettings& cs = context_.settings.channel(k);
    ChannelEventState& ch = channel(k);

    if (cs.alarm_enabled && magnitude(conditioned_sample) > cs.alarm_threshold) {
        context_.flags.threshold_alarm_flag = true;
    }

    set_location(location::event_sample);
    if (!context_.dry_run) {
        ch.file.append_sample(conditioned_sample);
        if (ch.file.failed()) note_write_failure(k, location::event_sample);
    }
    ch.event_samples += 1;

    bool stop_now = false;
    const double level = ch.filter.active() ? std::abs(ch.level_input) : magnitude(conditioned_sample);
    const bool coda = cs.trigger_mode == 0 ? level < cs.stop_amplitude
                                           : ch.detector.sta_lta_ratio < cs.stop_ratio;
    if (coda) {
        ch.under_stop_count += 1;
        stop_now = ch.under_stop_count > cs.post_event_samples || ch.under_stop_count > count_limit;
    } else {
        ch.under_stop_count = 0;
    }

    if (ch.forced_trigger == stop_request) {
        cs.record_enabled = 0;
        if (on_record_disabled) on_record_disabled(k);
        stop_now = true;
    }
    if (ch.event_samples > cs.max_event_samples) stop_now = true;
    if (stop_now) end_event(k);
    ch.forced_trigger = no_request;
}

void EventRecorder::end_event(int k) {
    const std::size_t i = static_cast<std::size_t>(k - 1);
    const config::GeneralSettings& g = context_.settings.general;
    ChannelEventState& ch = channel(k);

    context_.flags.event_active[i] = false;
    ch.over_start_count = 0;
    ch.held_samples = 0;
    set_location(location::event_end);
    context_.panel.ch_val_color[i] = ch_val_idle_color;

    if (on_event_recorded) {
        on_event_recorded({k, ch.event_start_text, ch.trigger_text, ch.event_samples,
                           config::sps_value(context_.settings.channel(k).sps_code),
                           ch.detector.max_ratio, ch.detector.max_amplitude});
    }
    if (context_.dry_run) {
        context_.panel.man_record[i] = "REC";
        ch.detector.max_ratio = 0;
        ch.detector.max_amplitude = 0;
        return;
    }

    // Close, then write the count of sample lines the file holds over the
    // placeholder (the same as event_samples unless a write failed).
    if (ch.file.is_open()) {
        if (!ch.file.close()) note_write_failure(k, location::event_sample);
        if (ch.file.header_on_disk()) {
            FileError patch_error;
            if (!patch_sample_count(ch.file.path(), ch.file.placeholder_offset(),
                                    sample_count_text(ch.file_format, ch.file.lines_on_disk()),
                                    &patch_error)) {
                report(patch_error.error_number, location::event_end, patch_error.detail);
            }
        }
    }

    const std::string summary = event_summary(ch.event_file_name, ch.event_start_text,
                                              ch.event_samples, ch.detector.max_ratio,
                                              ch.detector.max_amplitude);
    context_.event_list.append(summary);
    if (g.print_quake) print_summary(summary);
    context_.flags.event_ended_flag = true;
    trace("STOP l_evento(" + std::to_string(k - 1) + ")=" + number(ch.event_samples));

    // The SMS and mail senders each pick up their own file of one line per event.
    const auto append_for_sender = [&](std::string_view file_name, const std::string& line) {
        FileError e;
        if (!append_text_line(context_.station_folder / file_name, line, &e)) {
            report(e.error_number, location::event_end, e.detail);
        }
    };
    if (g.send_sms) {
        append_for_sender(sms_file_name, sms_line(ch.event_start_text, ch.event_samples,
                                                  ch.detector.max_ratio, ch.detector.max_amplitude));
    }
    if (g.send_mail) {
        append_for_sender(mail_file_name, mail_line(ch.event_start_text, ch.event_samples,
                                                    ch.detector.max_ratio, ch.detector.max_amplitude));
    }

    context_.panel.man_record[i] = "REC";
    ch.detector.max_ratio = 0;
    ch.detector.max_amplitude = 0;
    context_.panel.notify();
}

void EventRecorder::print_summary(const std::string& summary) {
    platform::Printer* printer = context_.printer;
    if (!printer) return;
    std::string error;
    if (!printer->job_open() && !printer->begin_job(&error)) {
        report(printer_error_number, location::event_end, error);
        return;
    }
    if (!printer->print_line(summary, &error)) {
        report(printer_error_number, location::event_end, error);
    }
    bool any_active = false;
    for (int j = 1; j <= 4; ++j) any_active = any_active || event_active(j);
    if (!any_active && !printer->end_job(&error)) {
        report(printer_error_number, location::event_end, error);
    }
}

void EventRecorder::manual_record(int k, bool acquisition_running) {
    if (!acquisition_running || k < 1 || k > 4) return;
    const std::size_t i = static_cast<std::size_t>(k - 1);
    const bool enabled = context_.settings.channel(k).record_enabled != 0;
    std::string& caption = context_.panel.man_record[i];
    if (caption == "REC") {
        if (!event_active(k) && enabled) {
            channel(k).forced_trigger = start_request;
            caption = "STOP";
        }
    } else if (event_active(k) && enabled) {
        channel(k).forced_trigger = stop_request;
        caption = "REC";
    }
    context_.panel.notify();
}

void EventRecorder::reset_max_amplitude(int k) {
    if (k >= 1 && k <= 4) channel(k).detector.max_amplitude = 0;
}

void EventRecorder::flush_open_files() {
    for (int k = 1; k <= 4; ++k) {
        ChannelEventState& ch = channel(k);
        if (ch.file.is_open() && !ch.file.flush()) note_write_failure(k, location::event_sample);
    }
}

}  // namespace tw::events
