#include "acquisition/packet_decoder.h"

#include <algorithm>

namespace tw::acquisition {

PacketType packet_type(std::uint8_t type_byte) {
    if (type_byte == time_packet_type) return PacketType::time;
    if (type_byte >= first_sample_packet_type && type_byte <= first_sample_packet_type + 3)
        return PacketType::sample;
    if (type_byte == eeprom_reply_type) return PacketType::eeprom;
    return PacketType::unknown;
}

std::string_view to_string(PacketType type) {
    switch (type) {
        case PacketType::time: return "time packet";
        case PacketType::sample: return "sample packet";
        case PacketType::eeprom: return "EEPROM reply";
        case PacketType::unknown: return "unknown packet";
    }
    return "unknown packet";
}

std::string_view to_string(DecodeStatus status) {
    switch (status) {
        case DecodeStatus::ok: return "ok";
        case DecodeStatus::incomplete: return "incomplete packet (no terminator)";
        case DecodeStatus::bad_length: return "bad packet length";
        case DecodeStatus::too_long: return "packet too long (terminator lost)";
        case DecodeStatus::unknown_type: return "unknown packet type";
    }
    return "unknown status";
}

DecodeStatus validate_packet(std::span<const std::uint8_t> bytes, bool truncated) {
    if (bytes.empty() || !is_terminator(bytes.back())) return DecodeStatus::incomplete;
    const PacketType type = packet_type(bytes.front());
    if (type == PacketType::unknown) return DecodeStatus::unknown_type;
    if (truncated) return DecodeStatus::too_long;
    if (type == PacketType::time && bytes.size() != time_packet_length)
        return DecodeStatus::bad_length;
    if (type == PacketType::sample && bytes.size() != sample_packet_length)
        return DecodeStatus::bad_length;
    return DecodeStatus::ok;
}

SamplePacket decode_sample_packet(std::span<const std::uint8_t> bytes, bool eighteen_bit) {
    SamplePacket out;
    out.status = validate_packet(bytes);
    if (out.status == DecodeStatus::incomplete) return out;
    if (packet_type(bytes.front()) != PacketType::sample) {
        out.status = DecodeStatus::unknown_type;
        return out;
    }
    out.channel = (bytes.front() - first_sample_packet_type) & 3;
    const std::uint32_t term = bytes.back();
    // A packet of the wrong length is read as its type byte and two zero data
    // bytes followed by the received terminator.
    const std::uint32_t byte2 = out.status == DecodeStatus::ok ? bytes[1] : 0;
    const std::uint32_t byte3 = out.status == DecodeStatus::ok ? bytes[2] : 0;
    // Data bytes of packets built from text may use all 8 bits; their
    // terminator then carries no flags, so the sums below stay 8-bit.
    const std::uint32_t low = byte2 + 128 * (term & 1);
    const std::uint32_t high = byte3 + 64 * (term & 2);
    const std::uint32_t word = (high * 256 + low) & 0xFFFF;
    if (eighteen_bit) {
        std::int32_t v = static_cast<std::int32_t>(word);
        if (term & 4) v += 65536;
        if (term & 8) v -= 131072;
        out.value = v;
    } else {
        out.value = static_cast<std::int16_t>(static_cast<std::uint16_t>(word));
    }
    return out;
}

TimePacket decode_time_packet(std::span<const std::uint8_t> bytes) {
    TimePacket out;
    out.status = validate_packet(bytes);
    if (out.status == DecodeStatus::incomplete) return out;
    if (packet_type(bytes.front()) != PacketType::time) {
        out.status = DecodeStatus::unknown_type;
        return out;
    }
    if (out.status != DecodeStatus::ok) return out;
    out.seconds = bytes[1];
    out.minutes = bytes[2];
    out.hours = bytes[3];
    out.board_status = bytes[4];
    return out;
}

EepromReply decode_eeprom_reply(std::span<const std::uint8_t> bytes) {
    EepromReply out;
    out.status = validate_packet(bytes);
    if (out.status == DecodeStatus::incomplete) return out;
    if (packet_type(bytes.front()) != PacketType::eeprom) {
        out.status = DecodeStatus::unknown_type;
        return out;
    }
    // A complete packet starting with 0x86 has at least two bytes.
    if (out.status == DecodeStatus::ok) out.value = bytes[1];
    return out;
}

DecodedPacket decode_packet(const Packet& packet, bool eighteen_bit) {
    DecodedPacket out;
    out.status = validate_packet(packet);
    if (out.status == DecodeStatus::incomplete) return out;
    out.type = packet_type(packet.bytes.front());
    switch (out.type) {
        case PacketType::sample:
            out.sample = decode_sample_packet(packet, eighteen_bit);
            break;
        case PacketType::time:
            out.time = decode_time_packet(packet.bytes);
            out.time.status = out.status;
            break;
        case PacketType::eeprom:
            out.eeprom = decode_eeprom_reply(packet.bytes);
            out.eeprom.status = out.status;
            break;
        case PacketType::unknown:
            break;
    }
    return out;
}

std::array<std::uint8_t, 4> encode_sample_packet(int channel, std::int32_t value,
                                                 bool eighteen_bit) {
    std::uint32_t flags = 0;
    std::uint32_t word = 0;
    if (eighteen_bit) {
        std::int32_t v = std::clamp<std::int32_t>(value, -131072, 131071);
        if (v < 0) {
            flags |= 8;
            v += 131072;
        }
        if (v >= 65536) {
            flags |= 4;
            v -= 65536;
        }
        word = static_cast<std::uint32_t>(v);
    } else {
        word = static_cast<std::uint16_t>(std::clamp<std::int32_t>(value, -32768, 32767));
    }
    const std::uint32_t low = word & 0xFF;
    const std::uint32_t high = word >> 8;
    flags |= (low >> 7) | ((high >> 7) << 1);
    return {static_cast<std::uint8_t>(first_sample_packet_type + (channel & 3)),
            static_cast<std::uint8_t>(low & 0x7F), static_cast<std::uint8_t>(high & 0x7F),
            static_cast<std::uint8_t>(0xF0 | flags)};
}

std::array<std::uint8_t, 6> encode_time_packet(int hours, int minutes, int seconds,
                                               std::uint8_t board_status,
                                               std::uint8_t terminator) {
    return {time_packet_type,
            static_cast<std::uint8_t>(seconds),
            static_cast<std::uint8_t>(minutes),
            static_cast<std::uint8_t>(hours),
            board_status,
            terminator};
}

// --- PacketAssembler --------------------------------------------------------

void PacketAssembler::start_next_if_complete() {
    if (complete_) {
        size_ = 0;
        truncated_ = false;
        complete_ = false;
    }
}

void PacketAssembler::append_data(std::uint8_t byte) {
    if (size_ < max_packet_bytes - 1)
        buffer_[size_++] = byte;
    else
        truncated_ = true;
}

void PacketAssembler::append_data(std::span<const std::uint8_t> bytes) {
    const std::size_t room = max_packet_bytes - 1 - size_;
    const std::size_t kept = std::min(room, bytes.size());
    std::copy_n(bytes.begin(), kept, buffer_.begin() + static_cast<std::ptrdiff_t>(size_));
    size_ += kept;
    if (kept < bytes.size()) truncated_ = true;
}

bool PacketAssembler::push(std::uint8_t byte) {
    start_next_if_complete();
    if (!is_terminator(byte)) {
        append_data(byte);
        return false;
    }
    buffer_[size_++] = byte;
    complete_ = true;
    return true;
}

Packet PacketAssembler::packet() const {
    return Packet{std::span<const std::uint8_t>(buffer_.data(), size_), truncated_};
}

void PacketAssembler::clear() {
    size_ = 0;
    truncated_ = false;
    complete_ = false;
}

}  // namespace tw::acquisition
