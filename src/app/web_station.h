#pragma once
// The station page's view of the station: the routes of web/station_site.h
// wired to this station's folders, settings and state.

#include "app/station.h"
#include "stream/channel_codes.h"
#include "web/station_site.h"
#include "web/station_status.h"

#include <filesystem>
#include <functional>
#include <optional>

namespace tw::app {

class WebStation {
public:
    // `page_folder` holds the built page; `seedlink_port` tells where the
    // live traces come from (none: no SeedLink server runs).
    WebStation(Station& station, stream::StreamCodes codes, std::filesystem::path page_folder,
               std::function<std::optional<int>()> seedlink_port);
    WebStation(const WebStation&) = delete;
    WebStation& operator=(const WebStation&) = delete;

    // Once a second: the measured rates follow the samples taken.
    void tick();
    web::StatusSnapshot snapshot() const;
    web::StationSite& site() { return site_; }

    // Encodes a spectrogram drawn in memory for the browser; set by the
    // program (it needs the picture library). Unset: no live spectrogram.
    std::function<std::optional<std::string>(const platform::Canvas&)> encode_png;

private:
    std::optional<web::EncodedPicture> spectrogram(int channel) const;

    Station& station_;
    stream::StreamCodes codes_;
    std::function<std::optional<int>()> seedlink_port_;
    std::int64_t started_ms_;
    web::RateMeter rates_;
    web::StationSite site_;
};

// The installed page beside the program: <bin>/../share/terrawave/webpage
// (the build tree has the same layout). Empty when it is not there.
std::filesystem::path find_page_folder(const std::filesystem::path& program);

}  // namespace tw::app
