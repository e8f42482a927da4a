// What the station page costs the station per request, on a station folder
// with thirty listed events, four drums and a week of archives: the status
// (asked every 3 s by each open page), the event list and a drum
// revalidated by a page that has them (every 15 and 20 s), and the picture
// list (every 20 s). The HTTP parsing and the sockets are Qt's and the
// kernel's, measured by the loaded run in BENCHMARKS.md.

#include "web/station_site.h"

#include <benchmark/benchmark.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

namespace fs = std::filesystem;
using namespace tw::web;

struct Folder {
    fs::path root = fs::temp_directory_path() / "tw_bench_station_page";
    std::unique_ptr<StationSite> site;

    Folder() {
        fs::remove_all(root);
        fs::create_directories(root / "page");
        fs::create_directories(root / "drums");
        fs::create_directories(root / "events");
        std::ofstream(root / "page/index.html") << "<html></html>";
        std::string list;
        for (int i = 0; i < 30; ++i) {
            char name[32], line[160];
            std::snprintf(name, sizeof name, "240305.12%02d00.ex%d", i, i % 4 + 1);
            std::snprintf(line, sizeof line,
                          "2024/03/05 12:%02d:30 %s 2024/03/05 12:%02d:00 L:00024000 Max SLTA:5.5 Max Amplit:008000\r\n",
                          i, name, i);
            list += "2024/03/05 12:00:00 a message line of the event list\r\n";
            list += line;
            std::ofstream event(root / "events" / name, std::ios::binary);
            event << "! PSN ASCII Event File Format 2.0 \r\nStart Time: 2024/03/05 12:00:00.000 \r\n"
                     "Number of Samples: 24000 \r\nSPS: 200\r\nData:\r\n";
            for (int s = 0; s < 24000; ++s) event << ' ' << (s * 37 % 2000) << "\r\n";
        }
        std::ofstream(root / "evtfile.dat", std::ios::binary) << list;
        const std::string picture(300000, 'j');
        for (int k = 1; k <= 4; ++k) {
            std::ofstream(root / "drums" / ("drum_" + std::to_string(k) + ".JPG")) << picture;
            for (int d = 1; d <= 7; ++d)
                std::ofstream(root / "drums" / ("drum_24030" + std::to_string(d) + "_" + std::to_string(k) + ".JPG"))
                    << picture;
        }
        site = std::make_unique<StationSite>(SiteContext{
            root / "page", root / "drums", root / "evtfile.dat", [this] { return root / "events"; },
            [] { return std::vector<std::string>{"ex1", "ex2", "ex3", "ex4"}; },
            [this] {
                StatusSnapshot s;
                s.station_name = "Monte Verde";
                s.board = "ORDA 2.0 18 bits";
                s.board_time = "2024/03/05 12:34:56";
                struct statvfs info {};
                if (::statvfs(root.c_str(), &info) == 0) s.free_bytes = info.f_bavail * info.f_frsize;
                for (auto& c : s.channels) {
                    c.acquiring = true;
                    c.nominal_rate = 200;
                    c.measured_rate = 200.02;
                    c.code = "HHZ";
                }
                return s;
            },
            [] { return std::vector<int>{}; }, {}});
    }
    ~Folder() { fs::remove_all(root); }

    Request request(std::string path, bool revalidate) {
        Request r;
        r.path = std::move(path);
        if (revalidate) {
            const auto first = site->handle(r);
            if (const auto* tag = first.header("ETag")) r.if_none_match = *tag;
        }
        return r;
    }
};

void run(benchmark::State& state, const std::string& path, bool revalidate, int expected) {
    Folder folder;
    const auto request = folder.request(path, revalidate);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto response = folder.site->handle(request);
        if (response.status != expected) state.SkipWithError("unexpected status");
        bytes = response.body.size();
        benchmark::DoNotOptimize(response);
    }
    state.counters["body_bytes"] = static_cast<double>(bytes);
}

void BM_Status(benchmark::State& state) { run(state, "/api/status", false, 200); }
void BM_EventsRevalidated(benchmark::State& state) { run(state, "/api/events", true, 304); }
void BM_EventsWhole(benchmark::State& state) { run(state, "/api/events", false, 200); }
void BM_Pictures(benchmark::State& state) { run(state, "/api/pictures", false, 200); }
void BM_DrumRevalidated(benchmark::State& state) { run(state, "/drums/drum_1.JPG", true, 304); }
// Many pages opening the same event: its answer is kept.
void BM_EventPlotAgain(benchmark::State& state) { run(state, "/api/event/240305.120000.ex1", false, 200); }
// Two events in turn: each request reads and converts 24,000 samples.
void BM_EventPlotEach(benchmark::State& state) {
    Folder folder;
    Request a, b;
    a.path = "/api/event/240305.120000.ex1";
    b.path = "/api/event/240305.120100.ex2";
    bool first = true;
    for (auto _ : state) {
        const auto response = folder.site->handle(first ? a : b);
        if (response.status != 200) state.SkipWithError("unexpected status");
        first = !first;
        benchmark::DoNotOptimize(response);
    }
}

BENCHMARK(BM_Status);
BENCHMARK(BM_EventsRevalidated);
BENCHMARK(BM_EventsWhole);
BENCHMARK(BM_Pictures);
BENCHMARK(BM_DrumRevalidated);
BENCHMARK(BM_EventPlotAgain);
BENCHMARK(BM_EventPlotEach)->Unit(benchmark::kMillisecond);

}  // namespace
