#pragma once
// A page of the replay: a stretch of one channel's day tracks drawn as a
// chart of several rows, the first row at the top, time running from left
// to right and on into the next row.
//
// `step` (chart speed / 50) is the distance in picture units from one
// sample to the next at the rate of the page's first run; the picture is
// about 1000 units wide. A row covers a whole number of seconds, so that
// page times stay whole seconds; a run at another rate is drawn at the same
// time per unit. The samples are gathered per pixel column: each column
// shows the smallest and the largest sample of its time and is joined to
// the column before, so the cost is pixels, not samples, and nothing of the
// signal is skipped when many samples share a column. Where nothing was
// recorded, nothing is drawn but a pale band: the times of what follows
// stay true.

#include "datalog/track_reader.h"
#include "platform/canvas.h"

#include <functional>
#include <string>

namespace tw::datalog {

// The picture's nominal width in units.
inline constexpr double replay_units = 1000;

struct ReplayLayout {
    int rows = 6;
    double step = 1;          // picture units per sample at `sps`
    double sps = 0;           // rate of the page's first run
    double row_seconds = 0;   // time of one row (whole seconds, at least 1)
    double page_seconds = 0;  // rows x row_seconds
    bool decimated() const { return step < 0.5; }
};
ReplayLayout replay_layout(double chart_speed, int rows, double sps);

struct ReplayStyle {
    double y_zoom = 10;       // a sample v lies v x y_zoom / 10 units above its row's centre
    double row_units = 65536.0 / 6;  // height of a row in sample units at y_zoom 10
};

struct PageDrawing {
    bool stopped = false;             // `service` asked to stop
    std::uint64_t samples = 0;        // recorded samples drawn
    double recorded_seconds = 0;      // time of the page that holds recorded samples
    std::vector<std::string> errors;  // track files that could not be read
};

// Draws the page that begins at `start` (seconds) on `canvas`: cleared,
// row lines and row start times, then the trace. `service` is called every
// few hundred thousand samples; when it returns true the page ends there.
PageDrawing draw_replay_page(platform::Canvas& canvas, TrackDays& days, double start,
                             const ReplayLayout& layout, const ReplayStyle& style,
                             const std::function<bool()>& service = {});

// The time under a point of the picture: `x` and `y` from 0 to 1 across and
// down the picture.
double replay_time_at(const ReplayLayout& layout, double start, double x, double y);

}  // namespace tw::datalog
