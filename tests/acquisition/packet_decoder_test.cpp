#include "acquisition/packet_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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
        {{0x82, 0xF0, 0xFF, 0xFC}, false, 0, -16},  // from a text board: full data bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.bytes[0]));
        const SamplePacket s = sample_of(c.bytes, c.eighteen_bit);
        EXPECT_EQ(std::tuple(s.status, s.channel, s.value), std::tuple(DecodeStatus::ok, c.channel, c.value));
    }
}

TEST(PacketDecoder, EncodeDecodeRoundTripCoversWholeRanges) {
    for (bool eighteen_bit : {false, true}) {
        const std::int32_t lo = eighteen_bit ? -131072 : -32768, hi = -lo - 1;
        for (std::int32_t v = lo; v <= hi + 6; v += 7) {
            const std::int32_t x = std::min(v, hi);
            const auto p = encode_sample_packet(2, x, eighteen_bit);
            ASSERT_TRUE(p[1] < 0x80 && p[2] < 0x80) << x;
            const SamplePacket s = decode_sample_packet(p, eighteen_bit);
            ASSERT_EQ(std::tuple(s.status, s.channel, s.value), std::tuple(DecodeStatus::ok, 2, x));
        }
    }
}

TEST(PacketDecoder, BadPacketsGiveZeroSampleWithFlagsOrNoValue) {
    // Wrong length: the channel still gets 0 plus the terminator's flags.
    SamplePacket s = sample_of({0x84, 0x11, 0x22, 0x33, 0xF1}, false);
    EXPECT_TRUE(s.has_value());
    EXPECT_EQ(std::tuple(s.status, s.channel, s.value), std::tuple(DecodeStatus::bad_length, 2, 128));
    EXPECT_EQ(sample_of({0x82, 0x05, 0xF8}, true).value, -131072);
    // Not a sample packet, or not ended: no value at all.
    for (const Bytes& b : {Bytes{0x81, 1, 2, 3, 0, 0xF0}, Bytes{0x82, 0x05, 0x06}, Bytes{}})
        EXPECT_FALSE(sample_of(b, false).has_value());
}

TEST(PacketDecoder, ValidatesTimeEepromAndUnknownPackets) {
    const TimePacket t = decode_time_packet(Bytes{0x81, 59, 30, 23, 0x20, 0xF0});
    EXPECT_EQ(std::tuple(t.status, t.hours, t.minutes, t.seconds, t.board_status),
              std::tuple(DecodeStatus::ok, 23, 30, 59, 0x20));
    EXPECT_EQ(decode_time_packet(Bytes{0x81, 1, 2, 3, 0xF0}).status, DecodeStatus::bad_length);
    EXPECT_EQ(decode_time_packet(Bytes{0x81, 1, 2, 3, 4, 5, 0xF0}).status, DecodeStatus::bad_length);

    EXPECT_EQ(decode_eeprom_reply(Bytes{0x86, 0x3A, 0xF0}).value, 0x3A);
    const EepromReply e = decode_eeprom_reply(Bytes{0x86, 0xF5});  // the value may end the packet
    EXPECT_EQ(std::pair(e.status, e.value), std::pair(DecodeStatus::ok, std::uint8_t{0xF5}));

    EXPECT_EQ(validate_packet(Bytes{0x80, 1, 0xF0}), DecodeStatus::unknown_type);
    EXPECT_EQ(validate_packet(Bytes{0xF7}), DecodeStatus::unknown_type);
    EXPECT_EQ(validate_packet(Bytes{0x82, 1, 2}), DecodeStatus::incomplete);
}

TEST(PacketAssembler, LostTerminatorMakesOneBadPacketAndTheNextDecodes) {
    const Bytes stream = {0x82, 0x01, 0x02, /* lost 0xF0 */ 0x83, 0x03, 0x04, 0xF0,
                          0x84, 0x05, 0x06, 0xF0};
    const auto packets = split(stream, false);
    ASSERT_EQ(packets.size(), 2u);
    const DecodedPacket &bad = packets[0].second, &good = packets[1].second;
    EXPECT_EQ(std::tuple(bad.status, bad.sample.channel, bad.sample.value), std::tuple(DecodeStatus::bad_length, 0, 0));
    EXPECT_EQ(std::tuple(good.status, good.sample.channel, good.sample.value),
              std::tuple(DecodeStatus::ok, 2, 5 + 6 * 256));
}

TEST(PacketAssembler, FloodWithoutTerminatorStaysBoundedAndResynchronises) {
    PacketAssembler assembler;
    std::vector<DecodedPacket> packets;
    const auto collect = [&](const Packet& p) { packets.push_back(decode_packet(p, false)); };
    assembler.feed(Bytes(100000, 0x82), collect);
    for (int i = 0; i < 1000; ++i) assembler.push(0x42);
    EXPECT_EQ(packets.size(), 0u);
    EXPECT_LT(assembler.pending_size(), PacketAssembler::max_packet_bytes);

    const auto good = encode_sample_packet(1, -1234, false);
    assembler.feed(Bytes{0xF0, good[0], good[1], good[2], good[3]}, collect);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(std::tuple(packets[0].status, packets[1].status, packets[1].sample.value),
              std::tuple(DecodeStatus::too_long, DecodeStatus::ok, -1234));
}

// Good, truncated and overlong packets among random bytes, cut at random
// places: push() and feed() agree whatever the chunking, every terminator
// ends one bounded packet, and a bad sample packet is only the zero sample.
TEST(PacketAssembler, RandomStreamsChunkedAnyWayGiveBoundedPacketsAndNoMadeUpSamples) {
    std::mt19937 rng(7);
    Bytes stream;
    for (int i = 0; i < 3000; ++i) {
        const auto p = encode_sample_packet(i % 4, static_cast<int>(rng() % 65536) - 32768, false);
        const std::size_t keep = rng() % 10 == 0 ? rng() % 4 : 4;  // some truncated
        stream.insert(stream.end(), p.begin(), p.begin() + static_cast<long>(keep));
        if (rng() % 50 == 0) stream.insert(stream.end(), 70 + rng() % 30, 0x11);  // overlong
        for (int r = rng() % 8; r > 0; --r) stream.push_back(static_cast<std::uint8_t>(rng()));
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

    const auto packets = split(stream, true);
    EXPECT_EQ(packets.size(),
              static_cast<std::size_t>(std::count_if(stream.begin(), stream.end(), is_terminator)));
    std::size_t bad = 0;
    for (const auto& [bytes, d] : packets) {
        ASSERT_LE(bytes.size(), PacketAssembler::max_packet_bytes);
        bad += d.status != DecodeStatus::ok;
        if (d.status == DecodeStatus::ok && d.type == PacketType::time) { EXPECT_EQ(bytes.size(), 6u); }
        if (d.type != PacketType::sample) continue;
        ASSERT_TRUE(d.sample.has_value());
        if (d.status != DecodeStatus::ok) {
            EXPECT_EQ(d.sample.value, sample_of({bytes.front(), 0, 0, bytes.back()}, true).value);
        }
    }
    EXPECT_GT(bad, 100u);
}

}  // namespace
}  // namespace tw::acquisition
