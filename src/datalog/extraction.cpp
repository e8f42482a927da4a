#include "datalog/extraction.h"

#include "config/number_text.h"
#include "config/time_stamp.h"
#include "datalog/track_format.h"
#include "datalog/track_reader.h"
#include "events/event_texts.h"
#include "platform/dialogs.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <system_error>

namespace tw::datalog {

namespace extraction_text {
std::string track_missing(int channel) {
    const std::string n = std::to_string(channel);
    return "Data of track " + n + " missing. .LG" + n + " not present.";
}
std::string index_missing(int channel) {
    const std::string n = std::to_string(channel);
    return "Data of track " + n + " missing. .LL" + n + " not present.";
}
std::string next_day_index_missing(int channel) {
    const std::string n = std::to_string(channel);
    return "Data of track " + n + "  missing. .LL" + n + " not present.";
}
std::string year_mismatch() {
    return platform::joined_lines(
        {"Data not available.", "Check the year.", "Is the year you inserted correct?"});
}
std::string rate_changed() {
    return platform::joined_lines(
        {"Samples per seconds changed during data acquisition.", "Impossible to extract."});
}
}  // namespace extraction_text

namespace {

// The refusal for a day that cannot be used; empty when it can.
std::string day_refusal(const DayTrack& day, int channel, bool next_day) {
    switch (day.status) {
    case DayStatus::ok: return {};
    case DayStatus::track_missing: return extraction_text::track_missing(channel);
    case DayStatus::index_missing:
        return next_day ? extraction_text::next_day_index_missing(channel)
                        : extraction_text::index_missing(channel);
    case DayStatus::year_mismatch: return extraction_text::year_mismatch();
    case DayStatus::unreadable: return "Track " + std::to_string(channel) + ": " + day.reason;
    }
    return {};
}

std::string seconds_text(double seconds) {
    return config::plain_number(std::round(seconds * 100) / 100);
}

}  // namespace

ExtractionResult extract_channel(const ExtractionContext& context, int channel,
                                 std::string_view start, int minutes) {
    ExtractionResult result;
    const std::string n = std::to_string(channel);
    const auto begin = start.size() == 19 ? config::stamp_seconds(start) : std::nullopt;
    if (!begin || channel < 1 || channel > 4) {
        result.refusal = "'" + std::string(start) + "' is no date and time YYYY/MM/DD HH:MM:SS.";
        return result;
    }
    if (minutes < 1 || minutes > max_extraction_minutes) {
        result.refusal = "The duration must be 1 to 480 minutes, not " + std::to_string(minutes) + ".";
        return result;
    }
    const config::Settings& settings = context.settings;
    const int width = track_sample_width(settings.general.ad_type);
    const std::int64_t from = *begin;
    const std::int64_t until = from + std::int64_t{minutes} * 60;

    // The day of the start, and the day of the last second when the stretch
    // reaches into the next one.
    TrackDays days(context.datalog_folder, channel, width);
    const std::int64_t first_day = day_number_of(static_cast<double>(from));
    const std::int64_t last_day = day_number_of(static_cast<double>(until - 1));
    for (std::int64_t d = first_day; d <= last_day; ++d) {
        const DayTrack& day = days.day(d);
        result.refusal = day_refusal(day, channel, d != first_day);
        if (!result.refusal.empty()) return result;
        for (const auto& problem : day.problems) result.notices.push_back("Track " + n + ": " + problem);
    }

    const std::vector<StretchPiece> pieces =
        plan_stretch(days, static_cast<double>(from), static_cast<double>(until));
    double sps = 0;
    for (const StretchPiece& piece : pieces) {
        if (!piece.recorded) continue;
        if (sps == 0) {
            sps = piece.sps;
        } else if (piece.sps != sps) {
            result.refusal = extraction_text::rate_changed();
            return result;
        }
    }
    const std::string until_text = config::stamp_text(until);
    if (sps == 0) {
        result.refusal = "Nothing of track " + n + " was recorded from " + std::string(start) +
                         " to " + until_text + ".";
        return result;
    }
    const auto total = static_cast<std::uint64_t>(
        std::max<long long>(1, std::llround(static_cast<double>(minutes) * 60 * sps)));

    auto report = [&](int number, const std::string& detail) {
        if (context.error_report)
            context.error_report->report(number, extraction_step, std::string(extraction_place), detail);
    };

    const std::string start_text(start);
    events::FileError counter_error;
    if (events::update_event_counter(context.counter_file, channel,
                                     {start_text, start_text, start_text, start_text},
                                     &counter_error) < 0) {
        report(counter_error.error_number, counter_error.detail);
    }

    const config::ChannelSettings& cs = settings.channel(channel);
    events::HeaderFields fields =
        events::header_fields(settings, channel, start_text, context.lock_state, context.board_reply);
    fields.rate = sps;
    fields.cut_from_track = true;
    fields.samples = total;

    // The writer never overwrites a file: a name that is taken (a live event
    // of the same second, an earlier cut) gets a number.
    events::EventFile file;
    if (!file.open(context.events_folder / events::event_file_name(start_text, cs.file_extension),
                   events::event_header(fields)) ||
        file.failed()) {
        report(file.error().error_number, file.error().detail);
        if (file.is_open()) {
            file.close();
            ::unlink(file.path().c_str());
        }
        result.refusal = "Track " + n + ": " + file.error().detail;
        return result;
    }
    if (!file.notice().empty()) result.notices.push_back("Track " + n + ": " + file.notice());
    const std::filesystem::path path = file.path();

    std::uint64_t lines = 0;
    std::uint64_t last_progress = 0;
    auto progress = [&] {
        if (context.progress && (lines - last_progress >= progress_lines || lines == total)) {
            last_progress = lines;
            context.progress(lines, total);
        }
    };
    auto zeros_until = [&](std::uint64_t line) {
        line = std::min(line, total);
        while (lines < line) {
            const std::uint64_t stop = std::min(line, lines + progress_lines);
            result.zero_lines += stop - lines;
            for (; lines < stop; ++lines) file.append_line("0");
            progress();
        }
    };

    std::string read_error;
    std::vector<std::int32_t> samples;
    const auto w = static_cast<std::uint64_t>(width);
    for (const StretchPiece& piece : pieces) {
        if (!piece.recorded || lines >= total) continue;
        const double first = std::round((piece.time - static_cast<double>(from)) * sps);
        const auto first_line = static_cast<std::uint64_t>(std::max(0.0, first));
        zeros_until(first_line);
        // A piece that begins a little before the line reached (rounding)
        // gives up its first samples.
        std::uint64_t index = lines > first_line ? lines - first_line : 0;
        while (index < piece.samples && lines < total) {
            const auto count = static_cast<std::size_t>(
                std::min({piece.samples - index, total - lines, progress_lines}));
            if (!read_track_samples(piece.day->track_path, piece.offset + index * w, count, width,
                                    samples, &read_error))
                break;
            for (const std::int32_t v : samples) file.append_sample(v);
            index += count;
            lines += count;
            progress();
        }
        if (!read_error.empty()) break;
    }
    if (read_error.empty()) zeros_until(total);

    const bool closed = file.close();
    if (!read_error.empty() || !closed) {
        const std::string detail = !read_error.empty() ? read_error : file.error().detail;
        report(!read_error.empty() ? events::error_number_of_errno(EIO) : file.error().error_number,
               detail);
        ::unlink(path.c_str());
        result.refusal = "Track " + n + ": " + detail + "; " + path.filename().string() +
                         " was not completed and is deleted.";
        result.zero_lines = 0;
        return result;
    }
    result.written = true;
    result.file = path;
    result.samples = lines;
    if (result.zero_lines > 0) {
        result.notices.push_back("Track " + n + ": nothing recorded in " +
                                 seconds_text(static_cast<double>(result.zero_lines) / sps) +
                                 " s of the stretch, written as 0.");
    }
    return result;
}

}  // namespace tw::datalog
