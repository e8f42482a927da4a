#include "acquisition/packet_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

namespace tw::acquisition {
namespace {

using Bytes = std::vector<std::uint8_t>;

SamplePacket sample_of(const Bytes& b, bool eighteen_bit) {
    return decode_sample_packet(std::span<const std::uint8_t>(b), eighteen_bit);
}

// Feeds `stream` in one go and returns every packet's bytes and decoding.
std::vector<std::pair<Bytes, DecodedPacket>> split(const Bytes& stream, bool eighteen_bit) {
    PacketAssembler assembler;
    std::vector<std::pair<Bytes, DecodedPacket>> out;
    assembler.feed(stream, [&](const Packet& p) {
        out.emplace_back(Bytes(p.bytes.begin(), p.bytes.end()), decode_packet(p, eighteen_bit));
    });
    return out;
}

TEST(PacketDecoder, DecodesSampleValuesOfBothBinaryFamilies) {
    struct Case { Bytes bytes; bool eighteen_bit; int channel; std::int32_t value; };
    const Case cases[] = {
        {{0x82, 0x7F, 0x7F, 0xF3}, false, 0, -1},
        {{0x85, 0x00, 0x40, 0xF0}, false, 3, 16384},
        {{0x84, 0x00, 0x00, 0xF2}, false, 2, -32768},
        {{0x83, 0x7F, 0x7F, 0xFF}, true, 1, -1},
        {{0x83, 0x00, 0x00, 0xF4}, true, 1, 65536},
        {{0x83, 0x00, 0x00, 0xF8}, true, 1, -131072},
        // Built from a text board: full 8-bit data bytes, no flags.
        {{0x82, 0xF0, 0xFF, 0xFC}, false, 0, -16},
    };
    for (const Case& c : cases) {
        const SamplePacket s = sample_of(c.bytes, c.eighteen_bit);
        EXPECT_EQ(s.status, DecodeStatus::ok);
        EXPECT_EQ(s.channel, c.channel);
        EXPECT_EQ(s.value, c.value) << "packet type " << int(c.bytes[0]);
    }
}

TEST(PacketDecoder, EncodeDecodeRoundTripCoversWholeRanges) {
    for (bool eighteen_bit : {false, true}) {
        const std::int32_t lo = eighteen_bit ? -131072 : -32768;
        const std::int32_t hi = eighteen_bit ? 131071 : 32767;
        for (std::int32_t v = lo; v <= hi + 6; v += 7) {
            const std::int32_t x = std::min(v, hi);
            const auto p = encode_sample_packet(2, x, eighteen_bit);
            ASSERT_LT(p[1], 0x80);
            ASSERT_LT(p[2], 0x80);
            const SamplePacket s = decode_sample_packet(p, eighteen_bit);
            ASSERT_EQ(s.status, DecodeStatus::ok);
            ASSERT_EQ(s.channel, 2);
            ASSERT_EQ(s.value, x);
        }
    }
}

TEST(PacketDecoder, WrongLengthSamplePacketGivesZeroSampleWithReceivedFlags) {
    // Five bytes: bad, but the channel still gets its sample: 0 plus the
    // terminator's flags (bit 0 = 128 on the low byte).
    SamplePacket s = sample_of({0x84, 0x11, 0x22, 0x33, 0xF1}, false);
    EXPECT_EQ(s.status, DecodeStatus::bad_length);
    EXPECT_TRUE(s.has_value());
    EXPECT_EQ(s.channel, 2);
    EXPECT_EQ(s.value, 128);
    s = sample_of({0x82, 0x05, 0xF8}, true);
    EXPECT_EQ(s.status, DecodeStatus::bad_length);
    EXPECT_EQ(s.value, -131072);
    // Not a sample packet, or not ended: no value at all.
    EXPECT_FALSE(sample_of({0x81, 1, 2, 3, 0, 0xF0}, false).has_value());
    EXPECT_FALSE(sample_of({0x82, 0x05, 0x06}, false).has_value());
    EXPECT_FALSE(sample_of({}, false).has_value());
}

TEST(PacketDecoder, ValidatesTimeEepromAndUnknownPackets) {
    const Bytes time = {0x81, 59, 30, 23, 0x20, 0xF0};
    const TimePacket t = decode_time_packet(time);
    EXPECT_EQ(t.status, DecodeStatus::ok);
    EXPECT_EQ(t.seconds, 59);
    EXPECT_EQ(t.minutes, 30);
    EXPECT_EQ(t.hours, 23);
    EXPECT_EQ(t.board_status, 0x20);
    EXPECT_EQ(decode_time_packet(Bytes{0x81, 1, 2, 3, 0xF0}).status, DecodeStatus::bad_length);
    EXPECT_EQ(decode_time_packet(Bytes{0x81, 1, 2, 3, 4, 5, 0xF0}).status, DecodeStatus::bad_length);

    EXPECT_EQ(decode_eeprom_reply(Bytes{0x86, 0x3A, 0xF0}).value, 0x3A);
    // The value byte may itself end the packet.
    const EepromReply e = decode_eeprom_reply(Bytes{0x86, 0xF5});
    EXPECT_EQ(e.status, DecodeStatus::ok);
    EXPECT_EQ(e.value, 0xF5);

    EXPECT_EQ(validate_packet(Bytes{0x80, 1, 0xF0}), DecodeStatus::unknown_type);
    EXPECT_EQ(validate_packet(Bytes{0xF7}), DecodeStatus::unknown_type);
    EXPECT_EQ(validate_packet(Bytes{0x82, 1, 2}), DecodeStatus::incomplete);

    std::set<std::string_view> texts;
    for (DecodeStatus s : {DecodeStatus::ok, DecodeStatus::incomplete, DecodeStatus::bad_length,
                           DecodeStatus::too_long, DecodeStatus::unknown_type})
        texts.insert(to_string(s));
    EXPECT_EQ(texts.size(), 5u);
}

TEST(PacketAssembler, LostTerminatorMakesOneBadPacketAndTheNextDecodes) {
    const Bytes stream = {0x82, 0x01, 0x02, /* lost 0xF0 */ 0x83, 0x03, 0x04, 0xF0,
                          0x84, 0x05, 0x06, 0xF0};
    const auto packets = split(stream, false);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].second.status, DecodeStatus::bad_length);
    EXPECT_EQ(packets[0].second.sample.channel, 0);
    EXPECT_EQ(packets[0].second.sample.value, 0);
    EXPECT_EQ(packets[1].second.status, DecodeStatus::ok);
    EXPECT_EQ(packets[1].second.sample.channel, 2);
    EXPECT_EQ(packets[1].second.sample.value, 5 + 6 * 256);
}

TEST(PacketAssembler, FloodWithoutTerminatorStaysBoundedAndResynchronises) {
    PacketAssembler assembler;
    std::vector<DecodedPacket> packets;
    const auto collect = [&](const Packet& p) { packets.push_back(decode_packet(p, false)); };
    const Bytes flood(100000, 0x82);
    assembler.feed(flood, collect);
    for (int i = 0; i < 1000; ++i) assembler.push(0x42);
    EXPECT_EQ(packets.size(), 0u);
    EXPECT_LT(assembler.pending_size(), PacketAssembler::max_packet_bytes);

    const auto good = encode_sample_packet(1, -1234, false);
    const Bytes tail = {0xF0, good[0], good[1], good[2], good[3]};
    assembler.feed(tail, collect);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].status, DecodeStatus::too_long);
    EXPECT_EQ(packets[1].status, DecodeStatus::ok);
    EXPECT_EQ(packets[1].sample.value, -1234);
}

TEST(PacketAssembler, BytewiseAndChunkedInputGiveTheSamePackets) {
    // Good packets mixed with garbage and truncated packets, cut at random
    // places: push() and feed() must agree, whatever the chunking.
    std::mt19937 rng(7);
    Bytes stream;
    for (int i = 0; i < 3000; ++i) {
        const auto p = encode_sample_packet(i % 4, static_cast<int>(rng() % 65536) - 32768, false);
        const std::size_t keep = rng() % 10 == 0 ? rng() % 4 : 4;  // some truncated
        stream.insert(stream.end(), p.begin(), p.begin() + static_cast<long>(keep));
        if (rng() % 50 == 0) stream.insert(stream.end(), 70 + rng() % 30, 0x11);  // overlong
    }
    std::vector<Bytes> bytewise;
    PacketAssembler a;
    for (std::uint8_t b : stream)
        if (a.push(b)) bytewise.emplace_back(a.packet().bytes.begin(), a.packet().bytes.end());

    std::vector<Bytes> chunked;
    PacketAssembler c;
    for (std::size_t pos = 0; pos < stream.size();) {
        const std::size_t n = std::min<std::size_t>(rng() % 13, stream.size() - pos);
        c.feed(std::span<const std::uint8_t>(stream).subspan(pos, n),
               [&](const Packet& p) { chunked.emplace_back(p.bytes.begin(), p.bytes.end()); });
        pos += n;
    }
    EXPECT_EQ(bytewise, chunked);
    EXPECT_GT(bytewise.size(), 2500u);
}

TEST(PacketAssembler, RandomBytesAreCountedBadAndMakeUpNoSamples) {
    std::mt19937 rng(11);
    Bytes stream(200000);
    for (auto& b : stream) b = static_cast<std::uint8_t>(rng());
    const auto packets = split(stream, true);
    std::size_t terminators = 0;
    for (std::uint8_t b : stream) terminators += is_terminator(b);
    EXPECT_EQ(packets.size(), terminators);
    std::size_t bad = 0;
    for (const auto& [bytes, d] : packets) {
        ASSERT_LE(bytes.size(), PacketAssembler::max_packet_bytes);
        bad += d.status != DecodeStatus::ok;
        if (d.status == DecodeStatus::ok && d.type == PacketType::time) {
            EXPECT_EQ(bytes.size(), 6u);
        }
        if (d.type != PacketType::sample) continue;
        ASSERT_TRUE(d.sample.has_value());
        if (d.status != DecodeStatus::ok) {  // only the documented zero sample
            const Bytes zero = {bytes.front(), 0, 0, bytes.back()};
            EXPECT_EQ(d.sample.value, sample_of(zero, true).value);
        }
    }
    EXPECT_GT(bad, packets.size() / 2);
}

}  // namespace
}  // namespace tw::acquisition
