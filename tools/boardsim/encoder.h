#pragma once
// What the board puts on the wire, built byte by byte. Pure functions: no
// port, no state.
//
// Packets: the first byte is the type (0x81 time packet, 0x82..0x85 sample
// packet of channel 1..4, 0x86 EEPROM reply); the last byte, 0xF0 or above,
// ends the packet. Data bytes of sample packets carry 7 bits; the eighth bits
// travel in the low four bits of the terminator.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw::boardsim {

inline constexpr std::uint8_t time_packet_type = 0x81;
inline constexpr std::uint8_t first_sample_packet_type = 0x82;
inline constexpr std::uint8_t eeprom_reply_type = 0x86;
inline constexpr std::uint8_t packet_terminator = 0xF0;

// Time packet status bits.
inline constexpr std::uint8_t status_first_line_inactive = 0x08;
inline constexpr std::uint8_t status_second_line_inactive = 0x10;
inline constexpr std::uint8_t status_synchronised = 0x20;
inline constexpr std::uint8_t status_dcf_daylight = 0x40;

inline constexpr std::int32_t min_sample_16 = -32768;
inline constexpr std::int32_t max_sample_16 = 32767;
inline constexpr std::int32_t min_sample_18 = -131072;
inline constexpr std::int32_t max_sample_18 = 131071;

// 0x81, seconds, minutes, hours (binary), status, 0xF0. The fields are sent
// as given (an impossible time is the caller's choice); each is cut to 7 bits
// so that it can never end the packet early.
std::array<std::uint8_t, 6> encode_time_packet(int seconds, int minutes, int hours,
                                               std::uint8_t status);

// Clamps a value into the range of the sample width.
std::int32_t clamp_sample(std::int64_t value, bool eighteen_bit);

// Sample packet of `channel` (0..3): type 0x82 + channel, low 7 bits, high 7
// bits, 0xF0 | flags. Flag bit 0 is bit 7 of the low byte, bit 1 bit 7 of the
// high byte. 16-bit: the value as a 16-bit two's-complement number. 18-bit:
// flag bit 2 is bit 16 (weight 65536) and flag bit 3 the sign (weight
// -131072). Out-of-range values are clamped.
std::array<std::uint8_t, 4> encode_sample_16(int channel, std::int32_t value);
std::array<std::uint8_t, 4> encode_sample_18(int channel, std::int32_t value);
std::array<std::uint8_t, 4> encode_sample(int channel, std::int32_t value, bool eighteen_bit);

// Reply to read EEPROM. When idle the board answers 0x86 and the value. While
// it samples the reply is a packet among the others: 0x86, value, 0xF0; a
// value of 0xF0 or above already ends the packet, so no terminator follows
// it (a second one would arrive as a stray one-byte packet).
std::vector<std::uint8_t> encode_eeprom_reply(std::uint8_t value, bool sampling);

// Infiltec: the signed value in decimal ended by a carriage return ("-45\r").
std::string encode_infiltec_line(std::int32_t value);
// LX1500: value + 32768 (0..65535 after clamping) in decimal ended by `end`,
// which is 'S' or 'A' ("32768S" for 0).
std::string encode_lx1500_line(std::int32_t value, char end);

// Sample rate base of a firmware: 100 for version replies "V16x" and "V18x"
// (those boards treat 200 as 100), else 200.
int rate_base(std::string_view version_reply);
// Samples per second of a channel's divisor byte: base / divisor, 0 = off.
double channel_rate(std::uint8_t divisor, int base);

}  // namespace tw::boardsim
