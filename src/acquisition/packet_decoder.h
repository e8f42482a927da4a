#pragma once
// Board packets: assembling them from the byte stream and decoding them.
//
// A packet is a byte string whose first byte is its type (0x81 time packet,
// 0x82..0x85 sample packet of channel 1..4, 0x86 EEPROM reply) and whose last
// byte, 0xF0 or above, ends it. Everything here is pure: bytes in, a decoded
// packet or a status out. Nothing touches a port.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tw::acquisition {

inline constexpr std::uint8_t time_packet_type = 0x81;
inline constexpr std::uint8_t first_sample_packet_type = 0x82;  // channel 1; 0x85 is channel 4
inline constexpr std::uint8_t eeprom_reply_type = 0x86;
inline constexpr std::size_t time_packet_length = 6;
inline constexpr std::size_t sample_packet_length = 4;

// Any byte of 0xF0 or above ends a packet.
constexpr bool is_terminator(std::uint8_t byte) { return byte >= 0xF0; }

enum class PacketType { time, sample, eeprom, unknown };

PacketType packet_type(std::uint8_t type_byte);
std::string_view to_string(PacketType type);

// Why a packet is not usable. Every value except `ok` counts as one bad packet
// on the `badrx` counter; `incomplete` never comes out of the assembler.
enum class DecodeStatus {
    ok,
    incomplete,    // empty, or the last byte is not a terminator
    bad_length,    // a time packet not 6 bytes long, a sample packet not 4
    too_long,      // longer than PacketAssembler::max_packet_bytes (lost terminators)
    unknown_type,  // the first byte is none of 0x81..0x86
};
std::string_view to_string(DecodeStatus status);

// One complete packet as the assembler hands it out. `bytes` is valid until
// the next call into the assembler that produced it.
struct Packet {
    std::span<const std::uint8_t> bytes;
    // More bytes arrived than were kept: `bytes` holds the first
    // max_packet_bytes - 1 of them and the terminator.
    bool truncated = false;
};

// Checks a packet without parsing it: terminator, known type, length.
// EEPROM replies may have any length (the value is byte 2, which may itself
// be the terminator).
DecodeStatus validate_packet(std::span<const std::uint8_t> bytes, bool truncated = false);
inline DecodeStatus validate_packet(const Packet& packet) {
    return validate_packet(packet.bytes, packet.truncated);
}

// ---------------------------------------------------------------------------
// Parsers. Each expects a packet of its type ending in a terminator; it
// reports `unknown_type` or `incomplete` otherwise and then yields nothing.

struct SamplePacket {
    DecodeStatus status = DecodeStatus::incomplete;
    int channel = 0;             // 0..3
    std::int32_t value = 0;      // -32768..32767, or -131072..131071 for 18 bits
    // A value was produced: `ok`, or a wrong-length sample packet that was
    // replaced by a zero sample carrying the received terminator's flags, so
    // that the channel's sample count stays right. Such a packet is still bad.
    bool has_value() const {
        return status == DecodeStatus::ok || status == DecodeStatus::bad_length ||
               status == DecodeStatus::too_long;
    }
};

// Type byte, low 7 bits, high 7 bits, terminator 0xF0 + flags. Flag bit 0 is
// bit 7 of the low byte, bit 1 bit 7 of the high byte; for 18-bit values
// bit 2 weighs 65536 and bit 3 -131072. With `eighteen_bit` false the 16 bits
// are read as a two's-complement number.
SamplePacket decode_sample_packet(std::span<const std::uint8_t> bytes, bool eighteen_bit);
inline SamplePacket decode_sample_packet(const Packet& packet, bool eighteen_bit) {
    SamplePacket s = decode_sample_packet(packet.bytes, eighteen_bit);
    if (packet.truncated && s.has_value()) s.status = DecodeStatus::too_long;
    return s;
}

struct TimePacket {
    DecodeStatus status = DecodeStatus::incomplete;
    // Binary, exactly as the board sent them; range checks belong to the
    // board clock supervision.
    std::uint8_t seconds = 0;
    std::uint8_t minutes = 0;
    std::uint8_t hours = 0;
    std::uint8_t board_status = 0;  // 0x20 synchronised, 0x40 DCF summer time, 0x08/0x10 inputs
};
TimePacket decode_time_packet(std::span<const std::uint8_t> bytes);

struct EepromReply {
    DecodeStatus status = DecodeStatus::incomplete;
    std::uint8_t value = 0;  // byte 2 of the packet
};
EepromReply decode_eeprom_reply(std::span<const std::uint8_t> bytes);

// The whole dispatch decision for one complete packet.
struct DecodedPacket {
    PacketType type = PacketType::unknown;
    DecodeStatus status = DecodeStatus::incomplete;  // not ok: counts one bad packet
    SamplePacket sample;   // type sample (see SamplePacket::has_value)
    TimePacket time;       // type time, status ok
    EepromReply eeprom;    // type eeprom, status ok
};
DecodedPacket decode_packet(const Packet& packet, bool eighteen_bit);

// ---------------------------------------------------------------------------
// Encoders, the inverse of the parsers (board simulator, tests, benchmarks).
// Values outside the family's range are clamped to it.

std::array<std::uint8_t, 4> encode_sample_packet(int channel, std::int32_t value,
                                                 bool eighteen_bit);
std::array<std::uint8_t, 6> encode_time_packet(int hours, int minutes, int seconds,
                                               std::uint8_t board_status,
                                               std::uint8_t terminator = 0xF0);

// ---------------------------------------------------------------------------
// Splits the ORDA byte stream into packets. Bytes are appended to the packet
// being received until a terminator arrives; a packet may have any length (a
// lost terminator makes the next one long). The partial packet is kept across
// calls. Bytes are never examined for a type value here.
class PacketAssembler {
public:
    // Longer packets are garbage (the longest real one has 6 bytes); keeping
    // at most this many bytes bounds the memory a stream without terminators
    // can take. Such a packet is reported once, truncated, when its
    // terminator finally arrives.
    static constexpr std::size_t max_packet_bytes = 64;

    // Appends one byte. Returns true when it completed a packet, which
    // packet() then shows until the next push or feed.
    bool push(std::uint8_t byte);
    Packet packet() const;

    // Splits `bytes` into packets and calls on_packet(const Packet&) for each
    // complete one, in order; a trailing partial packet is kept for the next
    // call. No allocation: a packet lying wholly inside `bytes` is handed out
    // as a view into `bytes`, others as a view into the assembler; either view
    // is valid only during the call. Returns the number of packets completed.
    template <class OnPacket>
    std::size_t feed(std::span<const std::uint8_t> bytes, OnPacket&& on_packet);

    // Bytes of the packet begun but not yet ended (at most max_packet_bytes - 1
    // are kept, see truncated).
    std::size_t pending_size() const { return complete_ ? 0 : size_; }
    // Drops the packet begun.
    void clear();

private:
    // Appends a data byte to the kept packet, marking it truncated when full.
    void append_data(std::uint8_t byte);
    // Appends data bytes in bulk with the same rule.
    void append_data(std::span<const std::uint8_t> bytes);
    void start_next_if_complete();

    std::array<std::uint8_t, max_packet_bytes> buffer_{};
    std::size_t size_ = 0;
    bool truncated_ = false;
    bool complete_ = false;  // buffer_ holds a finished packet not yet replaced
};

template <class OnPacket>
std::size_t PacketAssembler::feed(std::span<const std::uint8_t> bytes, OnPacket&& on_packet) {
    std::size_t completed = 0;
    std::size_t pos = 0;
    const std::size_t n = bytes.size();
    start_next_if_complete();
    while (pos < n) {
        std::size_t end = pos;
        while (end < n && !is_terminator(bytes[end])) ++end;
        if (end == n) {  // no terminator left: keep the partial packet
            append_data(bytes.subspan(pos));
            break;
        }
        const std::size_t length = end - pos + 1;
        if (size_ == 0 && length <= max_packet_bytes) {
            on_packet(Packet{bytes.subspan(pos, length), false});
        } else {
            append_data(bytes.subspan(pos, end - pos));
            buffer_[size_++] = bytes[end];
            on_packet(Packet{std::span<const std::uint8_t>(buffer_.data(), size_), truncated_});
            size_ = 0;
            truncated_ = false;
        }
        ++completed;
        pos = end + 1;
    }
    return completed;
}

}  // namespace tw::acquisition
