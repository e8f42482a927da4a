// Decoding and dispatch of a recorded board byte stream: packet assembly,
// validation, sample decoding and the per-channel sample path, for a board
// sending four channels at 200 samples per second plus one time packet a
// second. Reports samples per second.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "acquisition/packet_decoder.h"
#include "acquisition/sample_path.h"

namespace {

using namespace tw::acquisition;

constexpr int seconds_recorded = 60;
constexpr int rate = 200;

struct Recording {
    std::vector<std::uint8_t> bytes;
    std::int64_t samples = 0;
};

// Four channels of noise plus a slow sine, interleaved as the board sends
// them, with a time packet at each second and an occasional glitch.
Recording record(bool eighteen_bit) {
    Recording r;
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0, eighteen_bit ? 2000 : 500);
    const double amplitude = eighteen_bit ? 100000 : 25000;
    for (int s = 0; s < seconds_recorded; ++s) {
        const auto t = encode_time_packet(12, s / 60, s % 60, s % 10 == 0 ? 0x20 : 0);
        r.bytes.insert(r.bytes.end(), t.begin(), t.end());
        for (int i = 0; i < rate; ++i) {
            for (int c = 0; c < 4; ++c) {
                const double x = amplitude * std::sin((s * rate + i) * 0.01 * (c + 1)) + noise(rng);
                const auto p = encode_sample_packet(c, static_cast<std::int32_t>(x), eighteen_bit);
                // One packet in 5000 loses its terminator.
                const bool lost = rng() % 5000 == 0;
                r.bytes.insert(r.bytes.end(), p.begin(), lost ? p.end() - 1 : p.end());
                ++r.samples;
            }
        }
    }
    return r;
}

struct Dispatch {
    SamplePath path;
    bool eighteen_bit;
    std::int64_t bad_packets = 0;
    std::int64_t checksum = 0;

    explicit Dispatch(bool eighteen) : eighteen_bit(eighteen) {
        path.set_sample_hook([this](const SampleOutput& s) {
            checksum += s.sample_value + s.millis[3];
        });
        path.start_run(eighteen ? tw::config::orda20 : tw::config::orda10, {200, 200, 200, 200},
                       {200, 200, 200, 200});
    }
    void operator()(const Packet& p) {
        const DecodedPacket d = decode_packet(p, eighteen_bit);
        if (d.status != DecodeStatus::ok) ++bad_packets;
        switch (d.type) {
            case PacketType::sample:
                if (d.sample.has_value()) path.take_sample(d.sample.channel, d.sample.value);
                break;
            case PacketType::time:
                if (d.status == DecodeStatus::ok) path.start_new_second();
                break;
            default:
                break;
        }
    }
};

void report(benchmark::State& state, const Recording& r, const Dispatch& d) {
    state.SetItemsProcessed(state.iterations() * r.samples);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(r.bytes.size()));
    state.counters["samples_per_s"] =
        benchmark::Counter(static_cast<double>(r.samples), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bad_packets"] = static_cast<double>(d.bad_packets) / state.iterations();
}

void BM_DecodeStreamBulk(benchmark::State& state) {
    const bool eighteen_bit = state.range(0) != 0;
    const Recording r = record(eighteen_bit);
    Dispatch dispatch(eighteen_bit);
    PacketAssembler assembler;
    for (auto _ : state) {
        assembler.feed(r.bytes, dispatch);
        benchmark::DoNotOptimize(dispatch.checksum);
    }
    report(state, r, dispatch);
}
BENCHMARK(BM_DecodeStreamBulk)->Arg(0)->Arg(1)->ArgName("eighteen_bit")->Unit(benchmark::kMillisecond);

// The same, one byte at a time as a loop reading single bytes does.
void BM_DecodeStreamBytewise(benchmark::State& state) {
    const bool eighteen_bit = state.range(0) != 0;
    const Recording r = record(eighteen_bit);
    Dispatch dispatch(eighteen_bit);
    PacketAssembler assembler;
    for (auto _ : state) {
        for (std::uint8_t b : r.bytes)
            if (assembler.push(b)) dispatch(assembler.packet());
        benchmark::DoNotOptimize(dispatch.checksum);
    }
    report(state, r, dispatch);
}
BENCHMARK(BM_DecodeStreamBytewise)->Arg(0)->Arg(1)->ArgName("eighteen_bit")->Unit(benchmark::kMillisecond);

}  // namespace
