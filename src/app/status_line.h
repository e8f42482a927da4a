#pragma once
// The line the program without windows prints every few minutes, so that a
// user sees it is alive: the samples per second each channel delivered since
// the last line, the events so far, the free space of the station folder and,
// with --datalink, the feed to the ring server.
//   "status: CH1 200.0 sps, CH2 200.0 sps, CH3 off, CH4 off; 3 events; 812345 Kb free"
//   "...; 812345 Kb free; DataLink up, 0 s behind"

#include "app/station.h"

#include <array>
#include <cstdint>
#include <string>

namespace tw::app {

class StatusLine {
public:
    // Starts the first span at `now_ms` (monotonic milliseconds).
    StatusLine(const Station& station, std::int64_t now_ms);
    // The line for the span since the previous call, which starts a new span.
    std::string next(std::int64_t now_ms);

private:
    const Station& station_;
    std::array<std::uint64_t, 4> samples_{};
    std::int64_t since_ms_;
};

}  // namespace tw::app
