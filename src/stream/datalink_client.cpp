#include "stream/datalink_client.h"

#include <algorithm>

namespace tw::stream {

namespace {

std::array<char, 5> key_of(const Record& record) {
    return {record.location[0], record.location[1], record.seed_channel[0], record.seed_channel[1],
            record.seed_channel[2]};
}

// The location and channel of "NET_STA_LOC_CHAN/MSEED" when the network and
// station are the station's own.
std::optional<std::array<char, 5>> key_of(const std::string& id, const StreamCodes& codes) {
    const std::string suffix = "/MSEED";
    if (id.size() <= suffix.size() || !id.ends_with(suffix)) return std::nullopt;
    std::vector<std::string> parts(1);
    for (const char c : id.substr(0, id.size() - suffix.size())) {
        if (c == '_') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    if (parts.size() != 4 || parts[0] != codes.network || parts[1] != codes.station ||
        parts[2].size() > 2 || parts[3].size() != 3)
        return std::nullopt;
    std::array<char, 5> key{' ', ' ', parts[3][0], parts[3][1], parts[3][2]};
    for (std::size_t i = 0; i < parts[2].size(); ++i) key[i] = parts[2][i];
    return key;
}

}  // namespace

DataLinkClient::DataLinkClient(DataLinkOptions options, StreamCodes codes, const RecordRing& ring,
                               const DayArchive* archive, platform::TcpConnector& connector,
                               const platform::Clock& clock, Report report)
    : options_(std::move(options)),
      codes_(normalize_codes(std::move(codes))),
      ring_(ring),
      archive_(archive),
      connector_(connector),
      clock_(clock),
      report_(std::move(report)) {}

DataLinkClient::~DataLinkClient() {
    connector_.cancel();
    if (link_) link_->on_readable = link_->on_writable = nullptr;
    link_.reset();
    if (started_ && (positions_changed_ || positions_unsynced_)) save_positions(true);
}

std::int64_t DataLinkClient::today() const {
    const auto t = clock_.now();
    // One day more: the board's time, which names the day files, may be a
    // day ahead of the PC's local date.
    return day_number(civil_time_us(t.year, t.month, t.day, 0, 0, 0)) + 1;
}

DataLinkClient::Lane* DataLinkClient::find_lane(const std::string& id) {
    for (auto& lane : lanes_)
        if (lane.id == id) return &lane;
    return nullptr;
}

DataLinkClient::Lane& DataLinkClient::lane_for(const Record& record, std::uint32_t sequence) {
    const auto key = key_of(record);
    for (auto& lane : lanes_)
        if (lane.key == key) return lane;
    Lane lane;
    lane.id = DataLinkSession::stream_id(codes_.network, codes_.station, record);
    lane.key = key;
    lane.channel = std::string(record.seed_channel.data(), record.seed_channel.size());
    lane.cursor = sequence;
    lane.first_us = record.start_us;
    lanes_.push_back(std::move(lane));
    return lanes_.back();
}

void DataLinkClient::start() {
    if (started_) return;
    started_ = true;
    const std::string station = codes_.network + "." + codes_.station;
    DataLinkState state;
    std::string why;
    const auto loaded = options_.state_file.empty()
                            ? StateFileStatus::missing
                            : load_datalink_state(options_.state_file, station, server(), state, &why);
    if (loaded == StateFileStatus::ok) {
        for (const auto& [id, start_us] : state.acknowledged) {
            const auto key = key_of(id, codes_);
            if (!key || find_lane(id)) continue;
            Lane lane;
            lane.id = id;
            lane.key = *key;
            lane.channel = std::string(key->begin() + 2, key->end());
            lane.acked_us = lane.sent_us = start_us;
            lane.first_us = start_us;
            lanes_.push_back(std::move(lane));
        }
        for (auto& lane : lanes_) rewind(lane);
    } else if (loaded != StateFileStatus::missing) {
        report_("DataLink: " + why + "; sending starts from the records held in memory, and the file is written anew");
        positions_changed_ = true;
        save_positions(true);
    }
    connect();
}

void DataLinkClient::connect() {
    connecting_ = true;
    attempt_started_ms_ = clock_.monotonic_ms();
    connector_.connect(options_.host, options_.port,
                       [this](std::unique_ptr<platform::TcpConnection> link, const std::string& error) {
                           connected(std::move(link), error);
                       });
}

void DataLinkClient::connected(std::unique_ptr<platform::TcpConnection> link, const std::string& error) {
    connecting_ = false;
    if (!link) {
        failed(error.empty() ? "cannot connect" : error);
        return;
    }
    link_ = std::move(link);
    session_ = std::make_unique<DataLinkSession>(options_.client_id, clock_.monotonic_ms());
    link_->on_readable = [this] { read(); };
    link_->on_writable = [this] { flush(); };
    flush();
}

void DataLinkClient::read() {
    if (!link_ || !session_) return;
    char buffer[read_chunk];
    // A bounded number of reads per notification: a flood from the server
    // cannot hold the event loop.
    for (int i = 0; i < 16; ++i) {
        const long n = link_->receive(buffer, sizeof buffer);
        if (n < 0) {
            failed("the server closed the connection");
            return;
        }
        if (n == 0) break;
        session_->receive(std::string_view(buffer, static_cast<std::size_t>(n)), clock_.monotonic_ms());
        take_acknowledgements();
        if (session_->failed()) {
            failed(session_->failure());
            return;
        }
    }
    pump();
}

void DataLinkClient::failed(std::string why) {
    const bool was_up = up_;
    if (positions_changed_) save_positions(false);
    up_ = false;
    connecting_ = false;
    if (link_) link_->on_readable = link_->on_writable = nullptr;
    link_.reset();  // may be the connection whose callback runs: it allows that
    session_.reset();
    written_.clear();
    for (auto& lane : lanes_) rewind(lane);
    problem_ = why;
    if (was_up) retry_ms_ = first_retry_ms;
    next_attempt_ms_ = clock_.monotonic_ms() + retry_ms_;
    retry_ms_ = std::min(retry_ms_ * 2, last_retry_ms);
    if (!outage_reported_) {
        outage_reported_ = true;
        report_("DataLink: " + server() + ": " + why +
                "; trying again, every second at first and then up to once a minute; records wait in memory" +
                (archive_ ? " and in the archive" : ""));
    }
}

void DataLinkClient::became_up() {
    if (up_ || !session_) return;
    up_ = true;
    retry_ms_ = first_retry_ms;
    problem_.clear();
    report_("DataLink: writing to " + server() + " (" + session_->server_id() + ")" +
            (outage_reported_ ? ", the records that waited first" : ""));
    outage_reported_ = false;
}

void DataLinkClient::rewind(Lane& lane) {
    lane.sent_us = lane.acked_us;
    lane.held.reset();
    lane.backlog.reset();
    // The ring is looked at again from its oldest record; what is not newer
    // than the acknowledged record is passed over.
    lane.cursor = ring_.oldest();
    if (!archive_ || !lane.acked_us) return;
    for (std::uint32_t s = ring_.oldest(); s != ring_.next(); s = RecordRing::wrap(s + 1)) {
        const Record* r = ring_.find(s);
        if (!r || key_of(*r) != lane.key) continue;
        // The ring holds the acknowledged record itself, or one before it:
        // what follows it is all in the ring.
        if (r->start_us <= *lane.acked_us + same_start_slack_us) return;
        break;
    }
    start_backlog(lane);
}

void DataLinkClient::start_backlog(Lane& lane) {
    lane.held.reset();
    lane.backlog.reset();
    if (!archive_ || !lane.sent_us) return;
    lane.backlog = std::make_unique<ArchiveBacklog>(*archive_, lane.channel, *lane.sent_us, today());
}

const Record* DataLinkClient::next_of(Lane& lane) {
    if (!ring_.reaches(lane.cursor)) {
        // The ring dropped records of this stream that were never written:
        // the archive has them.
        lane.cursor = ring_.oldest();
        if (archive_) {
            start_backlog(lane);
        } else if (!lane.loss_reported) {
            lane.loss_reported = true;
            report_("DataLink: records of " + lane.id +
                    " left the ring in memory before the server took them; without a day archive"
                    " (--mseed) they are not sent");
        }
    }
    const Record* from_ring = nullptr;
    for (; lane.cursor != ring_.next(); lane.cursor = RecordRing::wrap(lane.cursor + 1)) {
        const Record* r = ring_.find(lane.cursor);
        if (!r || key_of(*r) != lane.key) continue;
        if (!lane.sent_us || r->start_us > *lane.sent_us + same_start_slack_us) {
            from_ring = r;
            break;
        }
    }
    if (lane.backlog) {
        if (!lane.held) {
            lane.backlog->extend_to(today());
            lane.held = lane.backlog->next();
        }
        if (lane.held && (!from_ring || lane.held->start_us + same_start_slack_us < from_ring->start_us))
            return &*lane.held;
        if (!lane.held && !from_ring) return nullptr;  // the archive has no more yet
        // The archive has caught up with the ring.
        lane.held.reset();
        lane.backlog.reset();
    }
    return from_ring;
}

void DataLinkClient::records_added() {
    if (!ring_.reaches(scan_)) scan_ = ring_.oldest();
    for (; scan_ != ring_.next(); scan_ = RecordRing::wrap(scan_ + 1)) {
        const Record* r = ring_.find(scan_);
        if (!r) continue;
        Lane& lane = lane_for(*r, scan_);
        lane.newest_us = std::max(lane.newest_us, r->start_us);
    }
    pump();
}

void DataLinkClient::pump() {
    if (!session_ || session_->failed()) return;
    const std::int64_t now = clock_.monotonic_ms();
    while (session_->can_write() && !lanes_.empty()) {
        bool wrote = false;
        for (std::size_t k = 0; k < lanes_.size() && session_->can_write(); ++k) {
            const std::size_t i = (round_robin_ + k) % lanes_.size();
            Lane& lane = lanes_[i];
            const Record* record = next_of(lane);
            if (!record) continue;
            session_->write(*record, lane.id, now);
            written_.push_back({i, record->start_us});
            lane.sent_us = record->start_us;
            if (lane.held && record == &*lane.held) {
                lane.held.reset();
            } else {
                lane.cursor = RecordRing::wrap(lane.cursor + 1);
            }
            wrote = true;
        }
        round_robin_ = (round_robin_ + 1) % lanes_.size();
        if (!wrote) break;
    }
    flush();
}

void DataLinkClient::flush() {
    if (!link_ || !session_) return;
    while (!session_->output().empty()) {
        const std::string_view out = session_->output();
        const long n = link_->send(out.data(), out.size());
        if (n < 0) {
            failed("the connection to the server failed");
            return;
        }
        session_->consumed(static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < out.size()) break;  // the system's buffer is full
    }
    link_->watch_writable(!session_->output().empty());
}

void DataLinkClient::take_acknowledgements() {
    if (!session_) return;
    std::size_t n = session_->take_acknowledged();
    if (n == 0) return;
    acknowledged_ += n;
    for (; n > 0 && !written_.empty(); --n) {
        const Written w = written_.front();
        written_.pop_front();
        lanes_[w.lane].acked_us = w.start_us;
    }
    positions_changed_ = true;
    if (session_->in_flight() == 0 || clock_.monotonic_ms() - last_save_ms_ >= busy_save_ms)
        save_positions(false);
    became_up();
}

DataLinkState DataLinkClient::positions() const {
    DataLinkState state;
    state.station = codes_.network + "." + codes_.station;
    state.server = server();
    for (const auto& lane : lanes_)
        if (lane.acked_us) state.acknowledged[lane.id] = *lane.acked_us;
    return state;
}

void DataLinkClient::save_positions(bool durable) {
    if (options_.state_file.empty()) return;
    std::string error;
    last_save_ms_ = clock_.monotonic_ms();
    if (save_datalink_state(options_.state_file, positions(), durable, &error)) {
        positions_changed_ = false;
        positions_unsynced_ = !durable;
        if (durable) last_durable_ms_ = clock_.monotonic_ms();
        if (save_failing_) {
            save_failing_ = false;
            report_("DataLink: writing " + options_.state_file.string() + " again");
        }
    } else if (!save_failing_) {
        save_failing_ = true;
        report_("DataLink: " + error +
                "; the positions are kept in memory, and records may be sent twice after a restart");
    }
}

void DataLinkClient::tick() {
    if (!started_) return;
    const std::int64_t now = clock_.monotonic_ms();
    if (session_) {
        session_->check_timeout(now);
        if (session_->failed()) failed(session_->failure());
    }
    if (connecting_ && now - attempt_started_ms_ >= connect_timeout_ms) {
        connector_.cancel();
        failed("no connection within " + std::to_string(connect_timeout_ms / 1000) + " s");
    }
    if (!link_ && !connecting_ && now >= next_attempt_ms_) connect();
    if (session_ && session_->phase() == DataLinkSession::Phase::ready && session_->in_flight() == 0)
        became_up();
    if (positions_changed_) save_positions(false);
    if (positions_unsynced_ && now - last_durable_ms_ >= durable_every_ms) save_positions(true);
    pump();
}

bool DataLinkClient::settled() const {
    if (!up_) return true;
    for (const auto& lane : lanes_)
        if (lane.newest_us != 0 && (!lane.acked_us || *lane.acked_us < lane.newest_us)) return false;
    return true;
}

std::string describe_feed(const DataLinkStatus& status) {
    std::string text = std::string("DataLink ") + (status.up ? "up" : "down") + ", " +
                       std::to_string(status.behind_us / 1000000) + " s behind";
    if (status.from_archive) text += ", catching up from the archive";
    return text;
}

DataLinkStatus DataLinkClient::status() const {
    DataLinkStatus status;
    status.up = up_;
    status.server = server();
    status.problem = up_ ? std::string() : problem_;
    status.acknowledged = acknowledged_;
    for (const auto& lane : lanes_) {
        if (lane.backlog && up_) status.from_archive = true;
        const std::int64_t since = lane.acked_us ? *lane.acked_us : lane.first_us;
        if (lane.newest_us > since) status.behind_us = std::max(status.behind_us, lane.newest_us - since);
    }
    return status;
}

}  // namespace tw::stream
