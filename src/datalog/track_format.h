#pragma once
// The day track files of a channel and what they hold.
//
// For channel n (1..4) and the day MMDD (month and day of the board date at
// the segment boundary that opened them; no year) the folder "datalog" of
// the station folder holds:
//   MMDD.ch<n>  segment buffer: raw samples of the segment open now
//   MMDD.lg<n>  day track: every flushed segment of the day, in time order
//   MMDD.ll<n>  day index: a START group per segment, a STOP group after the
//               last segment of an acquisition run that ended with STOP
// Samples are little-endian two's-complement integers without header or
// separator: 4 bytes for the 18-bit board, else the low 16 bits in 2 bytes.
// Index lines end in CR LF; label and value are joined with nothing between:
//   "START :YYYY/MM/DD HH:MM:SS"   board date and time of the boundary
//   "SPS   : 20"                   samples per second (" .016666" for 1SPM)
//   "POSIT : 4800"                 byte offset of the segment's first sample
//   "STOP  :YYYY/MM/DD HH:MM:SS"   board date and time at STOP
//   "POSIT : 9599"                 offset of the track's last byte (0 if empty)
// Sample k of a segment lies at POSIT + k x width and has the time
// START + k / SPS.

#include <cstdint>
#include <string>
#include <string_view>

namespace tw::datalog {

enum class TrackFile { buffer, track, index };  // ".ch", ".lg", ".ll"

// Bytes per sample in the buffer and track files for a board family
// (`ad_type`): 4 for the 18-bit board (1), 2 for every other.
int track_sample_width(int ad_type);

// Writes the sample in `width` (2 or 4) little-endian bytes to `out`.
inline void encode_track_sample(std::int32_t value, int width, std::uint8_t* out) {
    const auto bits = static_cast<std::uint32_t>(value);
    out[0] = static_cast<std::uint8_t>(bits);
    out[1] = static_cast<std::uint8_t>(bits >> 8);
    if (width == 4) {
        out[2] = static_cast<std::uint8_t>(bits >> 16);
        out[3] = static_cast<std::uint8_t>(bits >> 24);
    }
}

// True for a "YYYY/MM/DD HH:MM:SS" text with a possible month, day and time.
bool is_board_date_time(std::string_view text);

// "MMDD" of a "YYYY/MM/DD HH:MM:SS" text; empty when it is no such text.
std::string day_name_of(std::string_view board_date_time);

// "0105.lg3" for day "0105", TrackFile::track, channel 3.
std::string track_file_name(std::string_view day, TrackFile kind, int channel);

// The samples-per-second value text of the index: " 20", " .5", " .016666".
std::string sps_text(double samples_per_second);

// The three lines of a segment start, CR LF ended.
std::string index_start_group(std::string_view board_date_time, double samples_per_second,
                              std::uint64_t position);
// The two lines of a STOP: `track_size` is the day track's length in bytes
// after the final flush; the position written is its last byte (0 if empty).
std::string index_stop_group(std::string_view board_date_time, std::uint64_t track_size);

}  // namespace tw::datalog
