#pragma once
// The settings records: four channel records and one general record.
//
// Every field starts at 0 or empty (drum_scale at 1): that is the value a
// field keeps when an existing settings file lacks its key. The values a
// brand-new file gets are set by apply_new_file_values().

#include "config/extra_sections.h"

#include <array>
#include <string>

namespace tw::config {

struct ChannelSettings {
    // Stored in the file, in file order.
    int sps_code = 0;             // SPS index into sps_values
    int axis_code = 0;            // VAX index into axis_names
    int dc_offset = 0;            // DCO -32760..32760
    double y_scale = 0;           // YSC chart Y zoom
    int trigger_mode = 0;         // TRM 0 amplitude, else STA/LTA
    std::string start_params;     // STA "2000,2,2,1,30,3"
    std::string stop_params;      // STO "1800,2"
    int invert = 0;               // INV
    int record_enabled = 0;       // ENA
    int alarm_enabled = 0;        // ALA
    int alarm_threshold = 0;      // ALV
    int logging_enabled = 0;      // LOG
    int auto_offset = 0;          // AOF
    int extend_trigger = 0;       // TRI
    std::string file_extension;   // EXT at most 3 characters
    int drum_enabled = 0;         // DRM
    int drum_hidden = 0;          // DRH
    std::string magnitude_correction;  // COR five terms
    int fft_enabled = 0;          // FFT
    double drum_scale = 1;        // DRS
    int sensor_type = 0;          // STY index into sensor_types
    double sensor_sensitivity = 0;  // SSI volts per physical unit
    double amplifier_gain = 0;    // AGF
    double ad_bits = 0;           // ADS
    double ad_range = 0;          // ADF volts full scale
    double data_output_factor = 0;  // TRA physical units per count
    int measure_unit = 0;         // MSU index into unit_names
    double filter_delay = 0;      // FDY

    // Items of start_params, expanded on load and on apply.
    int start_amplitude = 0;
    double samples_over_start = 0;
    double pre_event_minutes = 0;
    double sta_seconds = 0;
    double lta_seconds = 0;
    double start_ratio = 0;
    // Items of stop_params.
    int stop_amplitude = 0;
    double post_event_minutes = 0;
    double stop_ratio = 0;
    double max_event_minutes = 0;
    // Items of magnitude_correction, kept as texts.
    std::array<std::string, 5> mag_corr_terms;

    // Derived sample counts (recompute_event_lengths).
    double pre_event_samples = 0;
    double post_event_samples = 0;  // at most 1e6
    double max_event_samples = 0;   // at most 1e6
};

struct GeneralSettings {
    std::string elevation;        // ELE
    std::string location;         // LOC
    std::string coordinates;      // COO
    int chart_speed = 0;          // PAP
    int comm_port = 0;            // COM 0 none, 1..4
    int auto_start = 0;           // AUT
    std::string event_browser;    // FVU
    std::string events_folder;    // EVF
    int pc_rtc = 0;               // RTC
    int pc_sync = 0;              // PSY
    int sync_every = 0;           // SYE
    int gmt_correction = 0;       // GMT
    int lpt_port = 0;             // LPT
    int watchdog_enabled = 0;     // WDE
    int watchdog_period = 0;      // WDT
    int use_twarden = 0;          // TWD
    int bmp_update = 0;           // BMP
    int hours_per_row = 0;        // HRW
    int flush_period = 0;         // FLH
    int purge_days = 0;           // PUG
    int never_purge = 0;          // NOP
    int hw_alarm = 0;             // HWA
    int alarm_on_l2 = 0;          // AL2
    int alarm_on_events = 0;      // ALE
    int send_sms = 0;             // SMS
    int send_mail = 0;            // SEM
    double review_y_zoom = 0;     // VRS
    int review_rows = 0;          // VRR
    double review_chart_speed = 0;  // VRH
    std::string review_path;      // EXD
    int event_format = 0;         // FOU
    int no_charts = 0;            // NOC
    int service_mode = 0;         // DBG
    int no_version_warning = 0;   // NWR
    int no_logo = 0;              // NLG
    std::string settings_password;  // PSW
    int settings_locked = 0;      // LKS
    int extract_channel_mask = 0;  // TEX
    int ad_type = 0;              // ADT
    int ad_base_address = 0;      // ADB written in hex
    int print_quake = 0;          // PQK
    int drum_format = 0;          // DRF
    int alarm_wav = 0;            // ALW
    int sync_source_dcf = 0;      // OPS
    int y_scale_all_channels = 0;  // YAC
    std::string clock_trim;       // CKT 8 hex digits
    std::string ad_serial;        // ASN 8 hex digits
};

struct Settings {
    std::array<ChannelSettings, 4> channels;  // channels 1..4 at 0..3
    GeneralSettings general;
    // "DCF" when sync_source_dcf is set, else "GPS"; set after loading.
    std::string sync_source_text;
    // The sections after "[END GENERAL]".
    ExtraSections extra;

    ChannelSettings& channel(int number) { return channels.at(number - 1); }
    const ChannelSettings& channel(int number) const { return channels.at(number - 1); }
};

}  // namespace tw::config
