// miniSEED for the field: the cost per sample of packing four channels at
// 200 samples per second into Steim-2 records and appending them to the day
// archive (real files), the cost per record of serving it to 20 clients in
// the data flow, and the cost of serving one minute of four channels at 200
// samples per second to 500 clients (protocols 3.1 and 4.0, plain and
// framed as WebSocket messages).

#include "fakes/fake_platform.h"
#include "stream/day_archive.h"
#include "stream/record_packer.h"
#include "stream/record_ring.h"
#include "stream/seedlink_server.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

namespace {

using namespace tw::stream;

// Seismometer-like samples: noise of a few hundred counts on a slow swell.
std::vector<std::int32_t> signal(std::size_t n) {
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 300);
    std::vector<std::int32_t> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::int32_t>(noise(random) + 5000 * std::sin(i * 0.001));
    return out;
}

void BM_PackAndArchive(benchmark::State& state) {
    const auto root = std::filesystem::temp_directory_path() / "tw_bench_stream";
    std::filesystem::remove_all(root);
    const auto samples = signal(200 * 60);
    RecordRing ring;
    DayArchive archive(root, {"XX", "STA", ""}, 2000, nullptr);
    std::int64_t now_ms = 0;
    std::vector<std::unique_ptr<RecordPacker>> packers;
    for (int k = 1; k <= 4; ++k) {
        packers.push_back(std::make_unique<RecordPacker>(
            "XX", "STA", "", std::string("HH") + "ZNE1"[k - 1], k, [&](const Record& r) {
                ring.push(r);
                archive.write(r, now_ms);
            }));
    }
    const std::int64_t start = civil_time_us(2024, 1, 1, 0, 0, 0);
    std::int64_t index = 0;
    for (auto _ : state) {
        // One minute of four channels.
        for (std::size_t i = 0; i < samples.size(); ++i, ++index) {
            const std::int64_t t = start + index * 5000;
            now_ms = index * 5;
            for (auto& p : packers) p->add(samples[i], t, 200, now_ms);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(samples.size()) * 4);
    packers.clear();
    archive.close_all();
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_PackAndArchive)->Unit(benchmark::kMillisecond);

// A client that takes everything at once.
class Sink : public tw::platform::TcpConnection {
public:
    long receive(char* data, std::size_t size) override {
        const std::size_t n = std::min(size, pending.size());
        std::copy_n(pending.data(), n, data);
        pending.erase(0, n);
        return static_cast<long>(n);
    }
    long send(const char*, std::size_t size) override {
        bytes += size;
        return static_cast<long>(size);
    }
    void watch_writable(bool) override {}
    std::string peer() const override { return "bench"; }
    bool frames_messages() const override { return framed; }
    std::string pending;
    std::uint64_t bytes = 0;
    bool framed = false;
};

class Listener : public tw::platform::TcpListener {
public:
    bool listen(const std::string&, int, std::string*) override { return true; }
    int port() const override { return 0; }
};

void BM_Serve20Clients(benchmark::State& state) {
    RecordRing ring;
    ServerIdentity id;
    id.codes = {"XX", "STA", ""};
    tw::fakes::FakeClock clock;
    Listener listener;
    SeedLinkServer server(id, ring, listener, clock);
    std::vector<Sink*> clients;
    for (int i = 0; i < 20; ++i) {
        auto link = std::make_unique<Sink>();
        Sink* raw = link.get();
        listener.on_connection(std::move(link));
        raw->pending = "SELECT HH?.D\r\nDATA\r\n";
        raw->on_readable();
        clients.push_back(raw);
    }
    Record record;
    record.channel = 1;
    record.seed_channel = {'H', 'H', 'Z'};
    for (auto _ : state) {
        ring.push(record);
        server.records_added();
    }
    std::uint64_t total = 0;
    for (auto* c : clients) total += c->bytes;
    state.SetItemsProcessed(state.iterations());
    state.counters["bytes_per_record"] =
        benchmark::Counter(static_cast<double>(total) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Serve20Clients);

// The records of one minute of four channels at 200 samples per second.
std::vector<Record> one_minute_of_records() {
    const auto samples = signal(200 * 60);
    std::vector<Record> records;
    std::vector<std::unique_ptr<RecordPacker>> packers;
    for (int k = 1; k <= 4; ++k)
        packers.push_back(std::make_unique<RecordPacker>("XX", "STA", "", std::string("HH") + "ZNE1"[k - 1], k,
                                                         [&](const Record& r) { records.push_back(r); }));
    const std::int64_t start = civil_time_us(2024, 1, 1, 0, 0, 0);
    for (std::size_t i = 0; i < samples.size(); ++i)
        for (auto& p : packers) p->add(samples[i], start + static_cast<std::int64_t>(i) * 5000, 200, 0);
    packers.clear();  // what waited is packed
    return records;
}

void BM_Serve500ClientsOneMinute(benchmark::State& state) {
    const auto records = one_minute_of_records();
    RecordRing ring;
    ServerIdentity id;
    id.codes = {"XX", "STA", ""};
    tw::fakes::FakeClock clock;
    Listener listener;
    ServerLimits limits;
    limits.max_per_address = limits.max_clients;
    SeedLinkServer server(id, ring, listener, clock, limits);
    // A quarter each: 3.1 over TCP, 4.0 over TCP, 3.1 and 4.0 as WebSocket.
    const char* requests[] = {"SELECT HH?.D\r\nDATA\r\n", "SLPROTO 4.0\r\nSTATION XX_STA\r\nSELECT *_H_H_?\r\nEND\r\n"};
    std::vector<Sink*> clients;
    for (int i = 0; i < 500; ++i) {
        auto link = std::make_unique<Sink>();
        Sink* raw = link.get();
        raw->framed = i % 4 >= 2;
        listener.on_connection(std::move(link));
        raw->pending = requests[i % 2];
        raw->on_readable();
        clients.push_back(raw);
    }
    for (auto _ : state) {
        for (const auto& r : records) {
            ring.push(r);
            server.records_added();
        }
    }
    std::uint64_t total = 0;
    for (auto* c : clients) total += c->bytes;
    state.counters["records_per_minute"] = static_cast<double>(records.size());
    state.counters["bytes_per_client_minute"] =
        benchmark::Counter(static_cast<double>(total) / 500.0 / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Serve500ClientsOneMinute)->Unit(benchmark::kMillisecond);

}  // namespace
