#pragma once
// The station page and its API, as routes of the station's HTTP server:
//
//   /                       the page (index.html of the installed page folder)
//   /<asset>                the page's other files
//   /api/status             the station's state (station_status.h), never cached
//   /api/events             the last events of the event list (event_api.h)
//   /api/event/NAME         the samples of event file NAME as JSON
//   /api/pictures           the drums folder's pictures (picture_list.h)
//   /api/spectrogram/N.png  channel N's spectrogram of today, as drawn so far
//   /drums/NAME             a picture of the drums folder, as saved
//   /events/NAME            event file NAME, for download
//
// Only GET and HEAD. Files are answered with ETag and Last-Modified and
// revalidated by the browsers ("no-cache"), so fifty open pages cost the
// station a 304 per look at a picture that did not change. The event list's
// answer is kept until the list file changes.

#include "web/event_api.h"
#include "web/http_message.h"
#include "web/router.h"
#include "web/station_status.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::web {

// A picture drawn in memory, encoded for the browser.
struct EncodedPicture {
    std::string bytes;
    std::string content_type = "image/png";
    std::string tag;  // changes whenever the picture does
};

struct SiteContext {
    std::filesystem::path page_folder;   // the installed page
    std::filesystem::path drums_folder;
    std::filesystem::path event_list_file;  // evtfile.dat
    // Read at each request: the settings may change while the program runs.
    std::function<std::filesystem::path()> events_folder;
    std::function<std::vector<std::string>()> event_extensions;  // EXT of channels 1..4
    std::function<StatusSnapshot()> status;
    // Channels whose spectrogram of today is drawn, and one of them
    // encoded; either may be empty.
    std::function<std::vector<int>()> live_spectrograms;
    std::function<std::optional<EncodedPicture>(int channel)> spectrogram;
};

class StationSite {
public:
    // Events the page lists, and samples an event plot holds at most (an
    // hour and more at 200 per second).
    static constexpr std::size_t listed_events = 30;
    static constexpr std::size_t max_plot_samples = 1000000;

    explicit StationSite(SiteContext context);

    // True for the paths this site answers (every path but the FDSN
    // services'), so that the server can route the rest elsewhere.
    static bool owns(std::string_view path);
    Response handle(const Request& request);

private:
    Response status();
    Response events(const Request& request);
    Response event_samples(std::string_view name, const Request& request);
    Response event_download(std::string_view name, const Request& request);
    Response pictures();
    Response spectrogram(std::string_view rest, const Request& request);
    std::optional<std::filesystem::path> event_file(std::string_view name);
    const std::vector<EventEntry>& listed();

    SiteContext context_;
    // The event list as last read, and the validators of its file then.
    std::vector<EventEntry> listed_;
    std::string listed_tag_;
    std::string events_answer_;
    // The last event plotted, so that many pages opening the same event
    // read and convert its file once: its tag and answer.
    std::string plotted_tag_;
    std::string plotted_answer_;
};

// Every path of the server that no other service claims goes to `site`,
// which must outlive the router.
void add_station_page_routes(Router& router, StationSite& site);

}  // namespace tw::web
