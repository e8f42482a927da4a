#pragma once
// Fixed tables that index the settings. Built into the program, never saved.

#include <array>
#include <string_view>

namespace tw::config {

// Sample-rate list shown in sps_select, indexed by sps_code.
inline constexpr std::array<std::string_view, 13> sps_names = {
    "OFF", "1spm", ".1", ".5", "1", "2", "5", "10", "20", "25", "50", "100", "200"};
// Samples per second by sps_code; one per minute is held as 0.016666.
inline constexpr std::array<double, 13> sps_values = {
    0, 0.016666, 0.1, 0.5, 1, 2, 5, 10, 20, 25, 50, 100, 200};
inline constexpr int sps_code_100 = 11;
inline constexpr int sps_code_200 = 12;
// One letter written into event files, by axis_code.
inline constexpr std::array<std::string_view, 5> axis_names = {" ", "N", "E", "Z", "G"};
// The axis list shown in axis_select.
inline constexpr std::array<std::string_view, 5> axis_list = {"?", "N", "E", "Z", "G"};
inline constexpr std::array<std::string_view, 4> board_types = {
    "ORDA 1.0 16 bits", "ORDA 2.0 18 bits", "INFILTEC Ser 16 bits", "N.E. LX1500 16 bits"};
inline constexpr std::array<std::string_view, 4> sensor_types = {
    "Unknow", "Velocity", "Displacement", "Acceleration"};
inline constexpr std::array<std::string_view, 6> unit_names = {"?", "m", "cm", "mm", "um", "nm"};
// Drum image update periods in minutes, by bmp_update.
inline constexpr std::array<int, 12> bmp_update_minutes = {5,   10,  15,  20,  30,  60,
                                                           120, 180, 240, 360, 720, 1440};
// Datalog flush periods in minutes, by flush_period.
inline constexpr std::array<int, 6> flush_period_minutes = {5, 10, 15, 20, 30, 60};
// Hours between board synchronisations from the PC, by sync_every.
inline constexpr std::array<int, 7> sync_period_hours = {1, 2, 3, 4, 6, 12, 24};
inline constexpr std::array<std::string_view, 5> drum_formats = {"BMP", "GIF", "JPG c40%",
                                                                 "JPG c75%", "JPG c90%"};
inline constexpr std::array<std::string_view, 5> comm_ports = {"none", "Comm1", "Comm2", "Comm3",
                                                               "Comm4"};
inline constexpr std::array<std::string_view, 4> lpt_ports = {"not use LPT", "LPT1", "LPT2",
                                                              "LPT3"};
inline constexpr std::array<std::string_view, 3> event_formats = {"PSN Ascii 1.0", "PSN Ascii 2.0",
                                                                  "ASCII"};

// Board families by ad_type.
enum BoardFamily : int { orda10 = 0, orda20 = 1, infiltec = 2, lx1500 = 3 };

// Samples per second of an sps_code; 0 for a code outside the table.
inline double sps_value(int sps_code) {
    return sps_code >= 0 && sps_code < static_cast<int>(sps_values.size()) ? sps_values[sps_code]
                                                                           : 0.0;
}

}  // namespace tw::config
