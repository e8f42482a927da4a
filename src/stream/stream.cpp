#include "stream/stream.h"

#include "config/tables.h"
#include "config/time_stamp.h"
#include "datalog/tracks.h"

namespace tw::stream {

Stream::Stream(StreamContext context) : context_(context) {}

Stream::~Stream() {
    // Waiting samples become records while the archive and the ring exist.
    for (auto& packer : packers_) packer.reset();
}

bool Stream::open(const StreamOptions& options, platform::TcpListener* listener,
                  std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (options.codes.station.empty())
        return fail("no station code: give --station CODE or STATION= in [STREAM] of terrawv.ini");
    if (const std::string problem = check_codes(options.codes); !problem.empty())
        return fail(problem);
    codes_ = normalize_codes(options.codes);
    const std::string name = codes_.network + "." + codes_.station;
    identity_.software = "SeedLink v4.0 (TERRAWAVE V.02.22)";
    identity_.organization = "TERRAWAVE station " + name;
    identity_.description = "TERRAWAVE station " + name;
    identity_.codes = codes_;
    const auto now = context_.clock.now();
    identity_.started_us = civil_time_us(now.year, now.month, now.day, now.hour, now.minute,
                                         now.second, now.millisecond * 1000);

    if (options.seedlink_port) {
        if (!listener) return fail("no network for the SeedLink server");
        std::string why;
        if (!listener->listen(options.seedlink_bind, *options.seedlink_port, &why))
            return fail("the SeedLink server cannot listen: " + why);
        server_ = std::make_unique<SeedLinkServer>(identity_, ring_, *listener, context_.clock,
                                                   options.limits);
        identity_.connections = [this] { return server_->connections(); };
        server_->on_notice = [this](const std::string& line) {
            context_.event_list.append("SeedLink " + line);
        };
        context_.event_list.append("SeedLink server for " + name + " listening on " +
                                   (options.seedlink_bind.empty() ? std::string("all addresses")
                                                                  : options.seedlink_bind) +
                                   " port " + std::to_string(listener->port()));
    }
    if (!options.archive_root.empty()) {
        archive_ = std::make_unique<DayArchive>(
            options.archive_root, codes_, datalog::Tracks::sync_interval_ms,
            [this](const std::string& message) { context_.event_list.append(message); },
            context_.file_ops);
        context_.event_list.append("miniSEED archive of " + name + " in " + options.archive_root);
    }
    return true;
}

void Stream::open_datalink(const DataLinkOptions& options, platform::TcpConnector& connector) {
    datalink_ = std::make_unique<DataLinkClient>(
        options, codes_, ring_, archive_.get(), connector, context_.clock,
        [this](const std::string& line) { context_.event_list.append(line); });
    context_.event_list.append("DataLink feed of " + codes_.network + "." + codes_.station + " to " +
                               datalink_->server());
    datalink_->start();
}

const std::string& Stream::channel_code_of(int channel) const {
    static const std::string none;
    if (channel < 1 || channel > 4) return none;
    return channel_codes_[static_cast<std::size_t>(channel - 1)];
}

double Stream::rate_of(int channel) const {
    const auto& settings = context_.settings;
    const int ad_type = settings.general.ad_type;
    if (ad_type == config::infiltec || ad_type == config::lx1500) {
        // A line board has no sample clock: its rate is what it sent in the
        // last second, by which its samples are placed in the second.
        const double r = context_.sample_path.line_board_rate();
        return r > 0 ? r : acquisition::SamplePath::line_board_default_rate;
    }
    return acquisition::SamplePath::true_rate_of(
        settings.channels[static_cast<std::size_t>(channel - 1)].sps_code);
}

void Stream::start_run() {
    if (!enabled()) return;
    std::array<double, 4> rates{};
    std::array<int, 4> axes{};
    for (int k = 1; k <= 4; ++k) {
        const auto& cs = context_.settings.channel(k);
        rates[static_cast<std::size_t>(k - 1)] = acquisition::SamplePath::true_rate_of(cs.sps_code);
        axes[static_cast<std::size_t>(k - 1)] = cs.axis_code;
    }
    const auto codes = channel_codes(rates, axes);
    for (int k = 1; k <= 4; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        auto& packer = packers_[i];
        packer.reset();  // what waited leaves now
        const std::string& code = codes[i];
        if (!code.empty() && code != channel_code(rates[i], axes[i], k) && code != channel_codes_[i])
            context_.event_list.append("Channel " + std::to_string(k) + " shares its axis and rate "
                                       "with another channel: its stream is named " + code);
        channel_codes_[i] = code;
        if (code.empty()) continue;
        packer = std::make_unique<RecordPacker>(codes_.network, codes_.station, codes_.location,
                                                code, k,
                                                [this](const Record& r) { publish(r); });
        packer->set_timing_source(
            [this](std::int64_t start_us) { return sync_history_.at(start_us); });
    }
}

void Stream::take_sample(int channel, std::int32_t value, const acquisition::SampleOutput& sample) {
    const auto& time = context_.board_time;
    if (!time.time_base_ready || channel < 1 || channel > 4) return;
    if (time.board_date_time != stamp_text_) {
        stamp_text_ = time.board_date_time;
        stamp_second_ = config::stamp_seconds(stamp_text_);
    }
    if (!stamp_second_) return;  // no date to stamp it with
    if (context_.sync && context_.sync->sync_time != sync_text_) {
        sync_text_ = context_.sync->sync_time;
        if (const auto second = config::stamp_seconds(sync_text_)) sync_history_.note(*second);
    }
    add_sample(channel, value, sample_time_us(*stamp_second_, sample.second_fraction),
               rate_of(channel));
}

void Stream::add_sample(int channel, std::int32_t value, std::int64_t time_us, double rate) {
    if (channel < 1 || channel > 4) return;
    auto& packer = packers_[static_cast<std::size_t>(channel - 1)];
    if (!packer) return;
    const std::int64_t now = context_.clock.monotonic_ms();
    packer->add(value, time_us, rate, now);
    packer->flush_if_older(now, live_limit_ms);
}

void Stream::publish(const Record& record) {
    ring_.push(record);
    const std::int64_t now = context_.clock.monotonic_ms();
    if (archive_) archive_->write(record, now);
    if (server_) server_->records_added();
    if (datalink_) datalink_->records_added();
}

void Stream::tick() {
    const std::int64_t now = context_.clock.monotonic_ms();
    for (auto& packer : packers_)
        if (packer) packer->flush_if_older(now, live_limit_ms);
    if (archive_) archive_->sync_if_due(now);
    if (server_) server_->tick();
    if (datalink_) datalink_->tick();
}

void Stream::stop_run() {
    for (auto& packer : packers_)
        if (packer) packer->break_line();
    if (archive_) archive_->close_all();
}

}  // namespace tw::stream
