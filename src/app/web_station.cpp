#include "app/web_station.h"

#include "app/acquisition_control.h"
#include "config/station_paths.h"
#include "config/tables.h"

namespace tw::app {

WebStation::WebStation(Station& station, stream::StreamCodes codes,
                       std::filesystem::path page_folder,
                       std::function<std::optional<int>()> seedlink_port)
    : station_(station),
      codes_(std::move(codes)),
      seedlink_port_(std::move(seedlink_port)),
      started_ms_(station.io.clock.monotonic_ms()),
      site_(web::SiteContext{
          std::move(page_folder),
          station.folder() / "drums",
          station.path(files::event_list),
          [&station] { return config::events_folder_path(station.settings.general, station.folder()); },
          [&station] {
              std::vector<std::string> extensions;
              for (int k = 1; k <= 4; ++k) extensions.push_back(station.settings.channel(k).file_extension);
              return extensions;
          },
          [this] { return snapshot(); },
          [&station] {
              std::vector<int> channels;
              for (int k = 1; k <= 4; ++k)
                  if (station.spectrum.picture(k, display::SpectrumMode::jtf)) channels.push_back(k);
              return channels;
          },
          [this](int channel) { return spectrogram(channel); },
      }) {}

void WebStation::tick() { rates_.add(station_.io.clock.monotonic_ms(), station_.samples_taken); }

web::StatusSnapshot WebStation::snapshot() const {
    const auto& settings = station_.settings;
    const auto& general = settings.general;
    web::StatusSnapshot s;
    s.version = "V.02.22";
    s.station_name = general.location;
    s.coordinates = general.coordinates;
    s.elevation = general.elevation;
    s.network = codes_.network;
    s.station = codes_.station;
    s.location = codes_.location;
    if (general.ad_type >= 0 && general.ad_type < static_cast<int>(config::board_types.size()))
        s.board = std::string(config::board_types[static_cast<std::size_t>(general.ad_type)]);
    s.firmware = station_.acquisition.firmware_version();
    s.acquiring = acquisition_active(station_);
    const auto& time = station_.board_clock.time();
    if (s.acquiring && time.time_base_ready) s.board_time = time.board_date_time;
    s.time_source = general.sync_source_dcf ? "DCF77" : "GPS";
    const auto& sync = station_.board_clock.sync();
    s.receiver_locked = sync.lock_state == "L";
    s.last_sync = sync.sync_time;
    s.free_bytes = station_.io.disk.free_bytes(station_.folder());
    s.buffer_fill = station_.panel.buffer_fill;
    s.buffer_size = station_.panel.buffer_size;
    s.events_recorded = station_.recorder.events_started();
    s.uptime_seconds =
        static_cast<double>(station_.io.clock.monotonic_ms() - started_ms_) / 1000.0;
    s.seedlink_port = seedlink_port_ ? seedlink_port_() : std::nullopt;
    for (int k = 1; k <= 4; ++k) {
        const auto& channel = settings.channel(k);
        auto& c = s.channels[static_cast<std::size_t>(k - 1)];
        const int code = channel.sps_code;
        c.nominal_rate = code > 0 && code < static_cast<int>(config::sps_values.size())
                             ? config::sps_values[static_cast<std::size_t>(code)]
                             : 0;
        c.acquiring = s.acquiring && c.nominal_rate > 0;
        if (c.acquiring) c.measured_rate = rates_.rate(k);
        c.code = station_.stream.channel_code_of(k);
        if (c.code.empty() && c.nominal_rate > 0)
            c.code = stream::channel_code(c.nominal_rate, channel.axis_code, k);
        c.recording = station_.recorder.event_active(k);
        if (c.recording) c.event_start = station_.recorder.channel(k).event_start_text;
        c.drum = channel.drum_enabled != 0;
        c.spectrum = channel.fft_enabled != 0;
    }
    return s;
}

std::optional<web::EncodedPicture> WebStation::spectrogram(int channel) const {
    const auto* picture = station_.spectrum.picture(channel, display::SpectrumMode::jtf);
    if (!picture || !encode_png) return std::nullopt;
    auto bytes = encode_png(*picture);
    if (!bytes) return std::nullopt;
    web::EncodedPicture encoded;
    encoded.bytes = std::move(*bytes);
    // Columns are painted once a minute of board time.
    encoded.tag = "\"jtf-" + std::to_string(channel) + "-" +
                  station_.board_clock.time().board_date_time.substr(0, 16) + "\"";
    for (auto& c : encoded.tag)
        if (c == ' ' || c == '/' || c == ':') c = '-';
    return encoded;
}

std::filesystem::path find_page_folder(const std::filesystem::path& program) {
    std::error_code error;
    const auto bin = std::filesystem::canonical(program, error).parent_path();
    if (error) return {};
    const auto folder = bin.parent_path() / "share" / "terrawave" / "webpage";
    return std::filesystem::exists(folder / "index.html", error) ? folder : std::filesystem::path{};
}

}  // namespace tw::app
