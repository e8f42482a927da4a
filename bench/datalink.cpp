// The DataLink feed to a ring server that acknowledges at once (a fake
// connection in the process, so the figures are the station's own cost):
// - BM_DataLinkLive: four channels at 200 samples per second, each record
//   written as it is made and its acknowledgement taken, with the position
//   file replaced after each one (real files);
// - BM_DataLinkCatchUp: a whole day of those four channels in the day
//   archive, sent after an outage, with the processor time of the longest
//   single turn of the event loop (what acquisition may wait at worst).

#include "fakes/fake_platform.h"
#include "stream/datalink_client.h"
#include "stream/record_packer.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <cmath>
#include <filesystem>
#include <random>

namespace {

using namespace tw::stream;
namespace fs = std::filesystem;

// Records four channels of `seconds` of seismometer-like noise would make.
std::vector<Record> records_of(int seconds, std::int64_t start_us) {
    std::vector<Record> out;
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 300);
    std::vector<std::unique_ptr<RecordPacker>> packers;
    for (int k = 0; k < 4; ++k)
        packers.push_back(std::make_unique<RecordPacker>("XX", "STA", "", std::string("HH") + "ZNE1"[k], k + 1,
                                                         [&](const Record& r) { out.push_back(r); }));
    for (std::int64_t i = 0; i < seconds * 200LL; ++i)
        for (auto& p : packers)
            p->add(static_cast<std::int32_t>(noise(random) + 5000 * std::sin(i * 0.001)), start_us + i * 5000, 200, 0);
    packers.clear();
    return out;
}

// A ring server that acknowledges every WRITE as soon as it is read.
class Server : public tw::platform::TcpConnection {
public:
    long receive(char* data, std::size_t size) override {
        const std::size_t n = replies.copy(data, size);
        replies.erase(0, n);
        return static_cast<long>(n);
    }
    long send(const char* data, std::size_t size) override {
        in.append(data, size);
        return static_cast<long>(size);
    }
    void watch_writable(bool) override {}
    std::string peer() const override { return "bench"; }
    // Answers what came; false when nothing did.
    bool serve() {
        std::size_t at = 0;
        while (in.size() - at >= 3) {
            const auto length = static_cast<std::size_t>(static_cast<unsigned char>(in[at + 2]));
            const std::string_view header(in.data() + at + 3, length);
            const std::size_t size = header.starts_with("WRITE") ? record_length : 0;
            if (in.size() - at < 3 + length + size) break;
            at += 3 + length + size;
            const std::string reply = header.starts_with("ID") ? "ID DataLink bench :: PACKETSIZE:512 WRITE" : "OK 1 0";
            replies += "DL" + std::string(1, static_cast<char>(reply.size())) + reply;
            kept += size ? 1 : 0;
        }
        in.erase(0, at);
        if (replies.empty()) return false;
        on_readable();
        return true;
    }
    std::string in, replies;
    std::uint64_t kept = 0;
};

class Connector : public tw::platform::TcpConnector {
public:
    void connect(const std::string&, int, Done done) override {
        auto link = std::make_unique<Server>();
        server = link.get();
        done(std::move(link), {});
    }
    void cancel() override {}
    Server* server = nullptr;
};

double thread_cpu_us() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

const std::int64_t day_start = civil_time_us(2024, 3, 5, 0, 0, 0);

void BM_DataLinkLive(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "tw_bench_datalink_live";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto records = records_of(600, day_start);
    tw::fakes::FakeClock clock;
    RecordRing ring;
    Connector connector;
    DataLinkClient client({"bench", 16000, folder / "datalink.pos", "bench"}, {"XX", "STA", ""}, ring, nullptr,
                          connector, clock, [](const std::string&) {});
    client.start();
    connector.server->serve();
    std::size_t i = 0;
    for (auto _ : state) {
        // Past the ten minutes, the same records again ten minutes later.
        Record r = records[i % records.size()];
        r.start_us += static_cast<std::int64_t>(i++ / records.size()) * 600000000LL;
        ring.push(r);
        client.records_added();
        connector.server->serve();
    }
    // Records per second of four channels at 200 samples per second.
    const double per_second = static_cast<double>(records.size()) / 600.0;
    state.counters["records_per_s_at_4x200"] = per_second;
    state.SetItemsProcessed(state.iterations());
    fs::remove_all(folder);
}
BENCHMARK(BM_DataLinkLive);

void BM_DataLinkCatchUp(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "tw_bench_datalink_day";
    fs::remove_all(folder);
    fs::create_directories(folder);
    DayArchive archive(folder / "sds", {"XX", "STA", ""}, 1000000, nullptr);
    // The day, written an hour at a time.
    std::uint64_t day_records = 0;
    for (int hour = 0; hour < 24; ++hour)
        for (const auto& r : records_of(3600, day_start + hour * 3600000000LL)) archive.write(r, 0), ++day_records;
    archive.close_all();
    tw::fakes::FakeClock clock;
    clock.set(2024, 3, 5, 23, 59, 59);
    clock.run_in_real_time();
    double longest_turn_us = 0;
    for (auto _ : state) {
        // The server acknowledged the first record of each channel, then
        // went away for the day.
        DataLinkState positions{"XX.STA", "bench:16000", {}};
        for (const char* c : {"HHZ", "HHN", "HHE", "HH1"})
            positions.acknowledged[std::string("XX_STA__") + c + "/MSEED"] = day_start;
        save_datalink_state(folder / "datalink.pos", positions, false, nullptr);
        RecordRing ring;
        Connector connector;
        DataLinkClient client({"bench", 16000, folder / "datalink.pos", "bench"}, {"XX", "STA", ""}, ring, &archive,
                              connector, clock, [](const std::string&) {});
        client.start();
        for (;;) {
            // The processor time of the turn: on a loaded machine the wall
            // time of one turn is mostly other programs'.
            const double t0 = thread_cpu_us();
            const bool more = connector.server->serve();
            longest_turn_us = std::max(longest_turn_us, thread_cpu_us() - t0);
            if (!more) break;
        }
        if (connector.server->kept + 4 != day_records) state.SkipWithError("not every record was sent");
        state.counters["records"] = static_cast<double>(connector.server->kept);
    }
    state.counters["longest_turn_us"] = longest_turn_us;
    fs::remove_all(folder);
}
BENCHMARK(BM_DataLinkCatchUp)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
