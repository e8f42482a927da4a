#include "datalog/retrigger.h"

#include "config/extra_sections.h"
#include "config/settings_file.h"
#include "config/tables.h"
#include "config/time_stamp.h"
#include "datalog/extraction.h"
#include "datalog/track_format.h"
#include "datalog/track_reader.h"
#include "display/conditioning.h"
#include "supervision/event_list.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace tw::datalog {

namespace {

std::string one_line(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c != '\n') line += c == '\r' ? ' ' : c;
    }
    return line;
}

std::string rate_text(double sps) { return config::extra_number_text(sps) + " samples per second"; }

// The sps_code whose rate is nearest to a track's rate.
int sps_code_of(double sps) {
    int best = 0;
    for (int code = 1; code < static_cast<int>(config::sps_values.size()); ++code) {
        if (std::abs(config::sps_values[code] - sps) < std::abs(config::sps_values[best] - sps)) best = code;
    }
    return best;
}

std::string time_text(double seconds) {
    return config::stamp_text(static_cast<std::int64_t>(std::floor(seconds + 1e-6)));
}

// Samples are read this many at a time.
constexpr std::size_t read_block = 1 << 16;

struct Cursor {
    int channel = 1;
    std::unique_ptr<TrackDays> days;
    std::vector<StretchPiece> pieces;  // recorded ones only
    std::size_t piece = 0;
    std::uint64_t index = 0;  // next sample of the piece
    std::vector<std::int32_t> block;
    std::uint64_t block_first = 0;  // index of block[0]
    double sps = 0;                 // rate of the run being replayed
    double previous_end = -std::numeric_limits<double>::infinity();

    bool done() const { return piece >= pieces.size(); }
    double next_time() const {
        const StretchPiece& p = pieces[piece];
        return p.time + static_cast<double>(index) / p.sps;
    }
};

}  // namespace

RetriggerResult retrigger(const config::Settings& station_settings, const RetriggerRequest& request) {
    RetriggerResult result;
    const auto begin = request.start.size() == 19 ? config::stamp_seconds(request.start) : std::nullopt;
    if (!begin) {
        result.refusal = "'" + request.start + "' is no date and time YYYY/MM/DD HH:MM:SS.";
        return result;
    }
    if (request.channels.empty()) {
        result.refusal = "No channel to replay.";
        return result;
    }
    const double from = static_cast<double>(*begin);
    const double until = from + request.minutes * 60.0;

    // The replay's own settings: the channels replayed record, the others
    // are left out.
    config::Settings settings = station_settings;
    double warm_up = 0;
    for (int k = 1; k <= 4; ++k) {
        config::ChannelSettings& cs = settings.channel(k);
        const bool replayed = std::find(request.channels.begin(), request.channels.end(), k) !=
                              request.channels.end();
        if (replayed && !cs.record_enabled)
            result.notices.push_back("Channel " + std::to_string(k) +
                                     " does not record events at the station; replayed as if it did.");
        cs.record_enabled = replayed ? 1 : 0;
        if (replayed) warm_up = std::max(warm_up, 3 * cs.lta_seconds);
    }
    warm_up = std::clamp(warm_up, 0.0, request.max_warm_up_seconds);

    const int width = track_sample_width(settings.general.ad_type);
    std::vector<Cursor> cursors;
    for (const int k : request.channels) {
        Cursor c;
        c.channel = k;
        // Nothing is written: an index with dates day first is read as it is.
        c.days = std::make_unique<TrackDays>(request.datalog_folder, k, width, false);
        const std::string n = std::to_string(k);
        const std::int64_t first_day = day_number_of(from);
        const std::int64_t last_day = day_number_of(until - 1);
        for (std::int64_t d = first_day; d <= last_day; ++d) {
            const DayTrack& day = c.days->day(d);
            std::string why;
            switch (day.status) {
            case DayStatus::ok: break;
            case DayStatus::track_missing: why = extraction_text::track_missing(k); break;
            case DayStatus::index_missing: why = extraction_text::index_missing(k); break;
            case DayStatus::year_mismatch: why = extraction_text::year_mismatch(); break;
            case DayStatus::unreadable: why = day.reason; break;
            }
            if (!why.empty())
                result.notices.push_back("Channel " + n + ", " + day.date + ": " + one_line(why) +
                                         " That day is left out.");
            for (const std::string& p : day.problems)
                result.notices.push_back("Channel " + n + ", " + day.date + ": " + p);
        }
        for (const StretchPiece& piece : plan_stretch(*c.days, from - warm_up, until)) {
            if (piece.recorded) {
                c.pieces.push_back(piece);
            } else if (piece.end > from && piece.time < until) {
                result.notices.push_back("Channel " + n + ": nothing recorded from " +
                                         time_text(std::max(piece.time, from)) + " to " +
                                         time_text(std::min(piece.end, until)) + ".");
            }
        }
        const bool any = std::any_of(c.pieces.begin(), c.pieces.end(),
                                     [&](const StretchPiece& p) { return p.end > from; });
        if (!any) {
            result.notices.push_back("Channel " + n + ": nothing was recorded from " + request.start +
                                     " to " + time_text(until) + ".");
            continue;
        }
        // Pre-event, coda and longest event in samples at the recorded rate.
        settings.channel(k).sps_code = sps_code_of(c.pieces.front().sps);
        config::recompute_event_lengths(settings.channel(k));
        if (config::sps_value(station_settings.channel(k).sps_code) != c.pieces.front().sps)
            result.notices.push_back("Channel " + n + " was recorded at " + rate_text(c.pieces.front().sps) +
                                     "; the settings say " +
                                     rate_text(config::sps_value(station_settings.channel(k).sps_code)) +
                                     ". Replayed at the recorded rate.");
        cursors.push_back(std::move(c));
    }
    if (cursors.empty()) {
        result.refusal = "Nothing to replay.";
        return result;
    }

    // The recorder as the station wires it, in a dry run.
    supervision::PanelModel panel;
    events::EventFlags flags;
    platform::StoppedClock clock;  // the recorder's list is never written in a dry run
    supervision::EventList list("/dev/null", clock);
    display::SampleConditioner conditioner(settings, panel);
    std::string board_date_time;
    const bool time_base_ready = true;
    const std::string lock_state = "L";
    const std::string board_reply;
    events::EventRecorder recorder(events::EventContext{settings, flags, panel, list, conditioner,
                                                        board_date_time, time_base_ready, lock_state,
                                                        board_reply, {}, nullptr, true});
    std::vector<std::string> refused;
    recorder.on_tuning_problem = [&](const std::string& line) {
        if (std::find(refused.begin(), refused.end(), line) == refused.end()) {
            refused.push_back(line);
            result.notices.push_back(line);
        }
    };
    std::vector<int> open_at_end;
    recorder.on_event_recorded = [&](const events::RecordedEvent& e) {
        const std::string trigger = e.trigger_text.substr(0, 19);
        const auto trigger_second = config::stamp_seconds(trigger);
        const auto start = config::stamp_seconds(e.start_text);
        if (!trigger_second || !start || static_cast<double>(*trigger_second) < from) return;
        RetriggerEvent out;
        out.event = e;
        out.start = *start;
        out.end = static_cast<double>(*start) + (e.rate > 0 ? e.samples / e.rate : 0);
        out.cut = std::find(open_at_end.begin(), open_at_end.end(), e.channel) != open_at_end.end();
        result.events.push_back(out);
    };
    conditioner.start_run();
    recorder.start_run();

    double shown_time = -std::numeric_limits<double>::infinity();
    acquisition::SampleOutput source;
    std::string read_error;
    for (;;) {
        Cursor* c = nullptr;
        double t = 0;
        for (Cursor& candidate : cursors) {
            if (candidate.done()) continue;
            const double ct = candidate.next_time();
            if (!c || ct < t) c = &candidate, t = ct;
        }
        if (!c) break;
        const int k = c->channel;
        const StretchPiece& piece = c->pieces[c->piece];
        if (c->index == 0) {
            // A run that goes on (over midnight) goes on; anything else is a
            // new START for the channel.
            const bool goes_on = c->sps == piece.sps && std::abs(piece.time - c->previous_end) < 1.5 / piece.sps;
            if (!goes_on) {
                if (recorder.event_active(k)) recorder.end_event(k);
                if (c->sps != 0 && c->sps != piece.sps) {
                    result.notices.push_back("Channel " + std::to_string(k) + ": the rate changed from " +
                                             rate_text(c->sps) + " to " + rate_text(piece.sps) + " at " +
                                             time_text(piece.time) + "; replayed at each rate.");
                    settings.channel(k).sps_code = sps_code_of(piece.sps);
                    config::recompute_event_lengths(settings.channel(k));
                    recorder.apply_tuning();
                }
                c->sps = piece.sps;
                display::ChannelConditioning& cc = conditioner.channel(k);
                cc.ring_position = 1;
                cc.ring_count = 0;
                events::ChannelEventState& ch = recorder.channel(k);
                ch.filter.reset();
                ch.forced_trigger = events::no_request;
                ch.armed = false;
            }
        }
        if (c->index < c->block_first || c->index >= c->block_first + c->block.size()) {
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(piece.samples - c->index, read_block));
            if (!read_track_samples(piece.day->track_path, piece.offset + c->index * static_cast<std::uint64_t>(width),
                                    count, width, c->block, &read_error)) {
                // The rest of the piece cannot be read: the replay goes on
                // after it.
                result.notices.push_back("Channel " + std::to_string(k) + ": " + read_error +
                                         "; the replay goes on after " + time_text(piece.end) + ".");
                c->previous_end = -std::numeric_limits<double>::infinity();
                c->block.clear();
                c->block_first = 0;
                ++c->piece;
                c->index = 0;
                continue;
            }
            c->block_first = c->index;
        }
        const std::int32_t value = c->block[static_cast<std::size_t>(c->index - c->block_first)];

        // The board second and the sample's place in it ("millis_text").
        if (t + 1e-9 < shown_time || t + 1e-9 >= shown_time + 1) {
            shown_time = std::floor(t + 1e-9);
            board_date_time = config::stamp_text(static_cast<std::int64_t>(shown_time));
        }
        const double fraction = std::clamp(t - shown_time, 0.0, 0.999);
        const int millis = std::min(999, static_cast<int>(fraction * 1000 + 0.5));
        source.channel = k - 1;
        source.sample_value = value;
        source.second_fraction = fraction;
        source.millis = {'.', static_cast<char>('0' + millis / 100), static_cast<char>('0' + millis / 10 % 10),
                         static_cast<char>('0' + millis % 10)};

        display::ConditionedSample sample;
        sample.channel = k;
        sample.conditioned_sample = value;
        sample.detector_input = value;
        sample.source = &source;
        conditioner.store_in_ring(sample);
        recorder.update_detector(sample);
        recorder.process_sample(sample);
        ++result.samples;

        if (++c->index >= piece.samples) {
            c->previous_end = piece.end;
            ++c->piece;
            c->index = 0;
            c->block.clear();
            c->block_first = 0;
        }
    }
    for (int k = 1; k <= 4; ++k) {
        if (recorder.event_active(k)) open_at_end.push_back(k);
    }
    recorder.stop_run();
    std::stable_sort(result.events.begin(), result.events.end(), [](const RetriggerEvent& a, const RetriggerEvent& b) {
        return a.start != b.start ? a.start < b.start : a.event.channel < b.event.channel;
    });
    return result;
}

std::string retrigger_event_line(const RetriggerEvent& e) {
    const std::string trigger = e.event.trigger_text.size() > 11 ? e.event.trigger_text.substr(11) : e.event.trigger_text;
    return std::to_string(e.event.channel) + "  " + config::stamp_text(e.start) + "  " + time_text(e.end) +
           "  trigger " + trigger + "  ratio " + config::extra_number_text(std::round(e.event.max_ratio * 100) / 100) +
           "  amplitude " + config::extra_number_text(std::round(e.event.max_amplitude)) +
           (e.cut ? "  (still open at the end of the stretch)" : "");
}

std::string retrigger_summary(const RetriggerResult& result) {
    double seconds = 0;
    for (const RetriggerEvent& e : result.events) seconds += e.end - static_cast<double>(e.start);
    const auto whole = static_cast<long long>(std::lround(seconds));
    const std::size_t n = result.events.size();
    return std::to_string(n) + (n == 1 ? " event, " : " events, ") + std::to_string(whole / 60) + " min " +
           std::to_string(whole % 60) + " s in all";
}

}  // namespace tw::datalog
