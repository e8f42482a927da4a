#include "boardsim/encoder.h"

#include <algorithm>
#include <charconv>

namespace tw::boardsim {

std::array<std::uint8_t, 6> encode_time_packet(int seconds, int minutes, int hours,
                                               std::uint8_t status) {
    return {time_packet_type,
            static_cast<std::uint8_t>(seconds & 0x7F),
            static_cast<std::uint8_t>(minutes & 0x7F),
            static_cast<std::uint8_t>(hours & 0x7F),
            static_cast<std::uint8_t>(status & 0x7F),
            packet_terminator};
}

std::int32_t clamp_sample(std::int64_t value, bool eighteen_bit) {
    const std::int64_t low = eighteen_bit ? min_sample_18 : min_sample_16;
    const std::int64_t high = eighteen_bit ? max_sample_18 : max_sample_16;
    return static_cast<std::int32_t>(std::clamp(value, low, high));
}

namespace {

std::array<std::uint8_t, 4> pack(int channel, std::uint32_t low, std::uint32_t high,
                                 std::uint32_t extra_flags) {
    const std::uint32_t flags = (low >> 7) | ((high >> 7) << 1) | extra_flags;
    return {static_cast<std::uint8_t>(first_sample_packet_type + (channel & 3)),
            static_cast<std::uint8_t>(low & 0x7F), static_cast<std::uint8_t>(high & 0x7F),
            static_cast<std::uint8_t>(packet_terminator | flags)};
}

}  // namespace

std::array<std::uint8_t, 4> encode_sample_16(int channel, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(clamp_sample(value, false)) & 0xFFFFu;
    return pack(channel, bits & 0xFF, bits >> 8, 0);
}

std::array<std::uint8_t, 4> encode_sample_18(int channel, std::int32_t value) {
    // 18-bit two's complement: bits 0-15 in the data bytes, bit 16 and the
    // sign bit 17 in the terminator.
    const auto bits = static_cast<std::uint32_t>(clamp_sample(value, true)) & 0x3FFFFu;
    const std::uint32_t extra = ((bits >> 16) & 1u) << 2 | ((bits >> 17) & 1u) << 3;
    return pack(channel, bits & 0xFF, (bits >> 8) & 0xFF, extra);
}

std::array<std::uint8_t, 4> encode_sample(int channel, std::int32_t value, bool eighteen_bit) {
    return eighteen_bit ? encode_sample_18(channel, value) : encode_sample_16(channel, value);
}

std::vector<std::uint8_t> encode_eeprom_reply(std::uint8_t value, bool sampling) {
    std::vector<std::uint8_t> reply{eeprom_reply_type, value};
    if (sampling && value < packet_terminator) reply.push_back(packet_terminator);
    return reply;
}

namespace {

std::string decimal(std::int64_t value) {
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

}  // namespace

std::string encode_infiltec_line(std::int32_t value) {
    return decimal(clamp_sample(value, false)) + '\r';
}

std::string encode_lx1500_line(std::int32_t value, char end) {
    return decimal(static_cast<std::int64_t>(clamp_sample(value, false)) + 32768) + end;
}

int rate_base(std::string_view version_reply) {
    if (version_reply.size() >= 3 && version_reply[0] == 'V' && version_reply[1] == '1' &&
        (version_reply[2] == '6' || version_reply[2] == '8')) {
        return 100;
    }
    return 200;
}

double channel_rate(std::uint8_t divisor, int base) {
    return divisor == 0 ? 0.0 : static_cast<double>(base) / divisor;
}

}  // namespace tw::boardsim
