#include "events/trigger_panel.h"

#include "config/number_text.h"
#include "config/settings_file.h"
#include "config/tables.h"
#include "display/conditioning.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tw::events {

namespace {

using config::normalize_numeric_text;
using config::number_scan;

constexpr double item_min = 0;
constexpr double item_max = 32767;
// The settings keep each magnitude correction term within these (a wider
// value would change at the next start).
constexpr double mag_corr_min = -100;
constexpr double mag_corr_max = 100;

constexpr std::size_t index(TriggerField f) { return static_cast<std::size_t>(f); }
TriggerField field_at(std::size_t i) { return static_cast<TriggerField>(i); }

bool is_list_item(TriggerField f) { return index(f) < index(TriggerField::mag_corr_1); }
bool is_mag_corr(TriggerField f) {
    return index(f) >= index(TriggerField::mag_corr_1) && index(f) <= index(TriggerField::mag_corr_5);
}

std::string item_text(double value) {
    return normalize_numeric_text(config::plain_number(value), "", item_min, item_max);
}

std::string without_blanks(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c != ' ') out += c;
    }
    return out;
}

// The texts of fields [first, first + count) joined with ";".
std::string joined(const std::array<std::string, trigger_field_count>& fields, TriggerField first,
                   std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += ';';
        text += without_blanks(fields[index(first) + i]);
    }
    return text;
}

int list_index(int index, std::size_t size) {
    return std::clamp(index, 0, static_cast<int>(size) - 1);
}

}  // namespace

double pre_event_capacity_minutes(double samples_per_second) {
    if (!(samples_per_second > 0)) return std::numeric_limits<double>::max();
    return std::floor(display::pre_event_ring_capacity / (samples_per_second * 60));
}

TriggerPanel::TriggerPanel(TriggerPanelContext context) : context_(std::move(context)) {}

config::ChannelSettings& TriggerPanel::shown_channel() {
    return context_.settings.channel(std::clamp(model_.ch_selected, 1, 4));
}

void TriggerPanel::load() {
    model_.close_requested = false;
    model_.formato =
        list_index(context_.settings.general.event_format, config::event_formats.size());
    model_.ch_selected = std::clamp(context_.selected_channel, 1, 4);
    channel_display();
}

void TriggerPanel::activate() {
    context_.window_open = true;
    if (context_.apply_settings_lock) context_.apply_settings_lock();
    follow_selected_channel();
    context_.recorder.set_live_values_channel(model_.ch_selected);
    model_.notify();
}

void TriggerPanel::unload() {
    context_.window_open = false;
    context_.recorder.set_live_values_channel(0);
    model_.notify();
}

void TriggerPanel::follow_selected_channel() {
    if (!context_.window_open) return;
    const int channel = std::clamp(context_.selected_channel, 1, 4);
    if (channel == model_.ch_selected) return;
    model_.ch_selected = channel;
    context_.recorder.set_live_values_channel(channel);
    channel_display();
}

void TriggerPanel::apply_settings_lock(bool locked) {
    model_.inputs_enabled = !locked;
    model_.notify();
}

void TriggerPanel::channel_display() {
    const config::ChannelSettings& ch = shown_channel();
    model_.trigmode = ch.trigger_mode != 0 ? 1 : 0;
    for (std::size_t i = 0; i < mag_corr_count; ++i) {
        field(field_at(index(TriggerField::mag_corr_1) + i)) = ch.mag_corr_terms[i];
    }
    const double items[] = {static_cast<double>(ch.start_amplitude),
                            ch.samples_over_start,
                            ch.pre_event_minutes,
                            ch.sta_seconds,
                            ch.lta_seconds,
                            ch.start_ratio,
                            static_cast<double>(ch.stop_amplitude),
                            ch.post_event_minutes,
                            ch.stop_ratio,
                            ch.max_event_minutes};
    for (std::size_t i = 0; i < std::size(items); ++i) field(field_at(i)) = item_text(items[i]);
    model_.sta_lta_ratio.clear();
    model_.lta_average.clear();
    model_.sta_average.clear();
    field(TriggerField::drum_scale) = config::plain_number(ch.drum_scale);
    model_.sensor_type = list_index(ch.sensor_type, config::sensor_types.size());
    model_.measure_unit = list_index(ch.measure_unit, config::unit_names.size());
    show_unit_labels();
    field(TriggerField::sensor_sensitivity) = config::signed_number_text(ch.sensor_sensitivity);
    field(TriggerField::amplifier_gain) = config::signed_number_text(ch.amplifier_gain);
    field(TriggerField::ad_bits) = config::signed_number_text(ch.ad_bits);
    field(TriggerField::ad_range) = config::signed_number_text(ch.ad_range);
    field(TriggerField::filter_delay) = config::signed_number_text(ch.filter_delay);
    show_tuning();
    compute_sensor_scale();
}

void TriggerPanel::show_tuning() {
    const TriggerTuning t = read_trigger_tuning(context_.settings.extra);
    const ChannelTuning& c = t.channel(model_.ch_selected);
    auto& f = model_.tuning;
    auto text = [](double v) { return config::extra_number_text(v); };
    f[static_cast<std::size_t>(TuningField::duration)] = text(c.min_duration);
    f[static_cast<std::size_t>(TuningField::order)] = std::to_string(c.filter.order);
    f[static_cast<std::size_t>(TuningField::low_corner)] = text(c.filter.low_corner);
    f[static_cast<std::size_t>(TuningField::high_corner)] = text(c.filter.high_corner);
    f[static_cast<std::size_t>(TuningField::weight)] = text(c.weight);
    f[static_cast<std::size_t>(TuningField::coincidence)] = text(t.coincidence_sum);
    f[static_cast<std::size_t>(TuningField::window)] = text(t.coincidence_window);
    model_.filter_kind = static_cast<int>(c.filter.kind);
}

void TriggerPanel::set_tuning_field(TuningField which, std::string text) {
    model_.tuning[static_cast<std::size_t>(which)] = std::move(text);
}

void TriggerPanel::filter_kind_clicked(int index) {
    model_.filter_kind = std::clamp(index, 0, static_cast<int>(filter_kind_names.size()) - 1);
    model_.notify();
}

void TriggerPanel::apply_tuning() {
    TriggerTuning t = read_trigger_tuning(context_.settings.extra);
    ChannelTuning& c = t.channel(model_.ch_selected);
    std::vector<std::string> problems;
    auto number = [&](TuningField which, std::string_view key, int channel, double& out) {
        const std::string& text = model_.tuning[static_cast<std::size_t>(which)];
        double value = 0;
        if (config::direct_number(text, value) && std::isfinite(value)) {
            out = value;
        } else {
            problems.push_back(tuning_key(key, channel) + "=" + text + " is not a number");
        }
    };
    number(TuningField::duration, "DURATION", model_.ch_selected, c.min_duration);
    double order = c.filter.order;
    number(TuningField::order, "ORDER", model_.ch_selected, order);
    c.filter.order = std::abs(order) < 1000 && order == std::floor(order) ? static_cast<int>(order) : 0;
    number(TuningField::low_corner, "LOW", model_.ch_selected, c.filter.low_corner);
    number(TuningField::high_corner, "HIGH", model_.ch_selected, c.filter.high_corner);
    number(TuningField::weight, "WEIGHT", model_.ch_selected, c.weight);
    number(TuningField::coincidence, "COINCIDENCE", 0, t.coincidence_sum);
    number(TuningField::window, "WINDOW", 0, t.coincidence_window);
    c.filter.kind = static_cast<FilterKind>(std::clamp(model_.filter_kind, 0, 3));
    for (const std::string& p : check_trigger_tuning(t, context_.settings)) problems.push_back(p);
    if (!problems.empty()) {
        // Nothing of the tuning is stored; the fields keep what was typed.
        std::string text;
        for (const std::string& p : problems) text += (text.empty() ? "" : "\r\n") + p;
        context_.dialogs.message_box(text, std::string(tuning_title),
                                     platform::DialogIcon::critical);
        return;
    }
    write_trigger_tuning(t, context_.settings.extra);
    context_.recorder.apply_tuning();
}

void TriggerPanel::compute_sensor_scale() {
    config::ChannelSettings& ch = shown_channel();
    model_.scale = config::compute_sensor_scale(ch);
    ch.data_output_factor = model_.scale.data_output_factor;
    model_.notify();
}

void TriggerPanel::show_unit_labels() {
    model_.units = config::unit_labels(model_.sensor_type, model_.measure_unit);
}

void TriggerPanel::set_field(TriggerField f, std::string text) { field(f) = std::move(text); }

void TriggerPanel::leave_field(TriggerField f) {
    if (is_list_item(f)) {
        field(f) = normalize_numeric_text(field(f), "", item_min, item_max);
    } else if (is_mag_corr(f)) {
        field(f) = normalize_numeric_text(field(f), "", mag_corr_min, mag_corr_max);
    } else {
        return;
    }
    model_.notify();
}

void TriggerPanel::trigmode_clicked(int option) { model_.trigmode = option == 0 ? 0 : 1; }

void TriggerPanel::sensor_type_clicked(int list_position) {
    model_.sensor_type = list_index(list_position, config::sensor_types.size());
    shown_channel().sensor_type = model_.sensor_type;
    show_unit_labels();
    model_.notify();
}

void TriggerPanel::measure_unit_clicked(int list_position) {
    model_.measure_unit = list_index(list_position, config::unit_names.size());
    shown_channel().measure_unit = model_.measure_unit;
    sensor_type_clicked(model_.sensor_type);
}

void TriggerPanel::formato_clicked(int list_position) {
    model_.formato = list_index(list_position, config::event_formats.size());
    context_.settings.general.event_format = model_.formato;
}

void TriggerPanel::data_output_clicked() { compute_sensor_scale(); }

void TriggerPanel::max_noise_clicked() {
    context_.recorder.reset_max_amplitude(model_.ch_selected);
}

void TriggerPanel::defaults_clicked() {
    const bool teleseismic =
        context_.dialogs.ask_yes_no(std::string(defaults_question), "Default settings", false);
    const TriggerDefaults& set = teleseismic ? teleseismic_defaults : local_defaults;
    for (std::size_t i = 0; i < start_field_count; ++i) field(field_at(i)) = set.start[i];
    for (std::size_t i = 0; i < stop_field_count; ++i) {
        field(field_at(index(TriggerField::stop_amplitude) + i)) = set.stop[i];
    }
    for (std::size_t i = 0; i < mag_corr_count; ++i) {
        field(field_at(index(TriggerField::mag_corr_1) + i)) = "0.001";
    }
    field(TriggerField::drum_scale) = "2";
    field(TriggerField::filter_delay) = "0";
    model_.notify();
}

void TriggerPanel::apply_clicked() {
    config::ChannelSettings& ch = shown_channel();
    // A text typed and never left reads as the field would show it.
    for (std::size_t i = 0; i < trigger_field_count; ++i) leave_field(field_at(i));
    auto value = [this](TriggerField f) { return number_scan(field(f)); };
    auto whole = [&](TriggerField f) { return static_cast<int>(config::round_half_even(value(f))); };

    ch.trigger_mode = model_.trigmode == 0 ? 0 : 1;
    ch.start_params = joined(model_.fields, TriggerField::start_amplitude, start_field_count);
    ch.start_amplitude = whole(TriggerField::start_amplitude);
    ch.samples_over_start = value(TriggerField::samples_over_start);
    ch.pre_event_minutes = value(TriggerField::pre_event_minutes);

    // The pre-event ring holds a fixed number of samples: a longer pre-event
    // time would start the event file's time before its first sample.
    const double sps = config::sps_value(ch.sps_code);
    const double capacity = pre_event_capacity_minutes(sps);
    if (sps > 0 && ch.pre_event_minutes > capacity) {
        context_.dialogs.message_box(
            platform::joined_lines({"Pre-event time exceeded buffer capacity for the selected SPS.",
                                    "Please reduce SPS or pre-event time."}),
            std::string(capacity_title), platform::DialogIcon::critical);
        ch.pre_event_minutes = capacity;
        field(TriggerField::pre_event_minutes) = item_text(capacity);
        // The stored list holds the corrected time too, or the next start
        // would read the refused one again.
        ch.start_params = joined(model_.fields, TriggerField::start_amplitude, start_field_count);
    }
    ch.sta_seconds = value(TriggerField::sta_seconds);
    ch.lta_seconds = value(TriggerField::lta_seconds);
    ch.start_ratio = value(TriggerField::start_ratio);

    // The stop list keeps the typed maximum length; only this run uses the
    // corrected one.
    ch.stop_params = joined(model_.fields, TriggerField::stop_amplitude, stop_field_count);
    ch.stop_amplitude = whole(TriggerField::stop_amplitude);
    ch.post_event_minutes = std::fabs(value(TriggerField::post_event_minutes));
    ch.stop_ratio = value(TriggerField::stop_ratio);
    if (ch.pre_event_minutes + ch.post_event_minutes > value(TriggerField::max_event_minutes)) {
        field(TriggerField::max_event_minutes) =
            item_text(ch.pre_event_minutes + ch.post_event_minutes);
    }
    ch.max_event_minutes = value(TriggerField::max_event_minutes);
    config::recompute_event_lengths(ch);

    ch.magnitude_correction = joined(model_.fields, TriggerField::mag_corr_1, mag_corr_count);
    for (std::size_t i = 0; i < mag_corr_count; ++i) {
        ch.mag_corr_terms[i] = without_blanks(field(field_at(index(TriggerField::mag_corr_1) + i)));
    }

    double drum_scale = 0;
    if (config::direct_number(field(TriggerField::drum_scale), drum_scale) &&
        std::isfinite(drum_scale)) {
        ch.drum_scale = drum_scale;
    }
    ch.sensor_type = model_.sensor_type;
    ch.sensor_sensitivity = value(TriggerField::sensor_sensitivity);
    ch.amplifier_gain = value(TriggerField::amplifier_gain);
    ch.ad_bits = value(TriggerField::ad_bits);
    ch.ad_range = value(TriggerField::ad_range);
    ch.filter_delay = value(TriggerField::filter_delay);
    apply_tuning();
    compute_sensor_scale();
}

void TriggerPanel::ok_clicked() {
    apply_clicked();
    model_.close_requested = true;
    unload();
}

void TriggerPanel::cancel_clicked() {
    model_.close_requested = true;
    unload();
}

void TriggerPanel::show_live_values(int channel, const LiveValues& values) {
    if (!context_.window_open || channel != model_.ch_selected) return;
    // The detector gives the STA average, the LTA average and the ratio.
    model_.sta_average = values.monstart[0];
    model_.lta_average = values.monstart[1];
    model_.sta_lta_ratio = values.monstart[2];
    model_.dc_average = values.dc_average;
    model_.max_noise = values.max_noise;
    model_.notify();
}

}  // namespace tw::events
