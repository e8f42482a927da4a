#pragma once
// The trigger panel: for the channel selected in the main window, the
// trigger parameters of the detector, the sensor and A/D calibration, the
// magnitude correction terms, the drum Y scale and the filter delay, plus
// the event file format; and the live detector values while acquisition
// runs. Typed values take effect on Apply or OK only (the lists of sensor
// type, unit and event format store at once); they reach the settings file
// with the next SAVE.

#include "config/sensor_scale.h"
#include "config/settings.h"
#include "events/detector.h"
#include "events/event_recorder.h"
#include "platform/dialogs.h"

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tw::events {

// The entry fields, in the order of the panel.
enum class TriggerField : std::size_t {
    // start_threshold(0..5)
    start_amplitude,
    samples_over_start,
    pre_event_minutes,
    sta_seconds,
    lta_seconds,
    start_ratio,
    // stop_threshold(0..3)
    stop_amplitude,
    post_event_minutes,
    stop_ratio,
    max_event_minutes,
    // mag_corr(0..4)
    mag_corr_1,
    mag_corr_2,
    mag_corr_3,
    mag_corr_4,
    mag_corr_5,
    drum_scale,
    sensor_sensitivity,
    amplifier_gain,
    ad_bits,
    ad_range,
    filter_delay,
};
inline constexpr std::size_t trigger_field_count = 21;
inline constexpr std::size_t start_field_count = 6;
inline constexpr std::size_t stop_field_count = 4;
inline constexpr std::size_t mag_corr_count = 5;

// The tuning fields: the shown channel's duration, band filter and weight,
// and the coincidence of all channels ([TRIGGER] in the settings file).
enum class TuningField : std::size_t { duration, order, low_corner, high_corner, weight, coincidence, window };
inline constexpr std::size_t tuning_field_count = 7;
// The filter list, by FilterKind.
inline constexpr std::array<std::string_view, 4> filter_kind_names = {"Off", "High-pass", "Low-pass",
                                                                      "Band-pass"};

// What the trigger panel shows; the window renders it when notified.
struct TriggerPanelModel {
    static constexpr std::string_view title = "Trigger and Channels calibration";

    int ch_selected = 1;  // the channel shown
    int trigmode = 0;     // option 0 amplitude threshold, 1 STA / LTA ratio
    std::array<std::string, trigger_field_count> fields;
    int sensor_type = 0;   // index into sensor_types
    int measure_unit = 0;  // index into unit_names
    int formato = 1;       // index into event_formats (a general setting)
    std::array<std::string, tuning_field_count> tuning;
    int filter_kind = 0;  // index into filter_kind_names

    config::SensorScale scale;  // lbl_ad_sens, lbl_data_output, ...
    config::UnitLabels units;   // lbl_sensor, lbl_data_type, ...

    // Live detector values of the shown channel: the STA / LTA ratio, the
    // LTA and the STA average, the offset estimate and the largest noise
    // amplitude since the last event end.
    std::string sta_lta_ratio;
    std::string lta_average;
    std::string sta_average;
    std::string dc_average;
    std::string max_noise;

    // False while the settings are locked: every input, the option buttons,
    // the lists and the defaults button.
    bool inputs_enabled = true;
    bool close_requested = false;  // OK or Cancel: the window closes

    const std::string& text(TriggerField field) const {
        return fields[static_cast<std::size_t>(field)];
    }

    std::function<void()> changed;
    void notify() const {
        if (changed) changed();
    }
};

// The teleseismic and the local set of the Defaults button, field by field
// (start fields, then stop fields).
struct TriggerDefaults {
    std::array<std::string_view, start_field_count> start;
    std::array<std::string_view, stop_field_count> stop;
};
inline constexpr TriggerDefaults teleseismic_defaults = {{"1500", "3", "30", "30", "300", "5"},
                                                         {"800", "5", "3", "120"}};
inline constexpr TriggerDefaults local_defaults = {{"1000", "3", "2", "30", "300", "5"},
                                                   {"20000", "2", "3", "10"}};

struct TriggerPanelContext {
    config::Settings& settings;
    platform::Dialogs& dialogs;
    EventRecorder& recorder;        // live values, maximum noise
    const int& selected_channel;    // the main window's ch_selected
    bool& window_open;              // trigger_panel_open
    // The settings lock on every open window, this one included.
    std::function<void()> apply_settings_lock;
};

class TriggerPanel {
public:
    static constexpr std::string_view capacity_title = "Error.";
    static constexpr std::string_view defaults_question = "Setup values for teleseismic events?";
    static constexpr std::string_view tuning_title = "Trigger tuning refused";

    explicit TriggerPanel(TriggerPanelContext context);

    // The window is loaded (each time it is shown), becomes active, and is
    // unloaded (closed in any way).
    void load();
    void activate();
    void unload();
    bool is_open() const { return context_.window_open; }

    // The main window's selected channel changed: an open panel shows it
    // (what was typed and not applied is dropped).
    void follow_selected_channel();

    // The settings lock on this window's inputs.
    void apply_settings_lock(bool locked);

    // An entry field as typed, and its limits when it is left or Enter is
    // pressed in it.
    void set_field(TriggerField field, std::string text);
    void set_tuning_field(TuningField field, std::string text);
    void filter_kind_clicked(int index);
    void leave_field(TriggerField field);

    void trigmode_clicked(int option);
    void sensor_type_clicked(int index);   // stores sensor_type at once
    void measure_unit_clicked(int index);  // stores measure_unit at once
    void formato_clicked(int index);       // stores event_format at once
    void data_output_clicked();            // recomputes the calibration figures
    void max_noise_clicked();              // the shown channel's noise restarts
    void defaults_clicked();               // fills the fields, stores nothing

    void apply_clicked();  // trig_apply
    void ok_clicked();     // trig_ok: apply and close
    void cancel_clicked(); // trig_cancel: close

    // The acquisition run's live values of `channel`; shown when the open
    // panel shows that channel.
    void show_live_values(int channel, const LiveValues& values);

    TriggerPanelModel& model() { return model_; }
    const TriggerPanelModel& model() const { return model_; }

private:
    std::string& field(TriggerField f) { return model_.fields[static_cast<std::size_t>(f)]; }
    config::ChannelSettings& shown_channel();
    void channel_display();
    void compute_sensor_scale();
    void show_unit_labels();
    void show_tuning();
    void apply_tuning();

    TriggerPanelContext context_;
    TriggerPanelModel model_;
};

// The longest pre-event time (minutes) the pre-event ring holds at a rate;
// no limit (a huge number) for a channel that is off.
double pre_event_capacity_minutes(double samples_per_second);

}  // namespace tw::events
