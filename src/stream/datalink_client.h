#pragma once
// The DataLink feed: every record the station makes is written to a ring
// server (see datalink_session.h), each stream in order, each record once.
//
// What has been sent is known per stream by the start of the last record
// the server acknowledged. After the link drops (the server restarted,
// the network went, the server refused a record, nothing came back for a
// minute) the records after that are written again on the next connection:
// from the ring of records in memory, and from the day archive for what the
// ring no longer holds (an outage longer than the ring, or a restart of the
// program). The acknowledged starts are kept in a small file in the station
// folder (datalink_state.h), replaced once no acknowledgement is owed (at
// most every `busy_save_ms` while records are on their way) and
// synchronised to the device every `durable_every_ms`.
//
// Connection attempts back off from 1 s to a minute. The event list hears
// of the first failure of an outage and of the recovery, not of every try.
//
// Everything runs on the event loop and nothing waits: a connection
// attempt runs in the background, a read takes what has arrived, at most
// DataLinkSession::max_in_flight records are on the way, and the archive is
// read a buffer at a time, so acquisition never waits for the server.

#include "platform/clock.h"
#include "platform/tcp_connector.h"
#include "stream/channel_codes.h"
#include "stream/datalink_backlog.h"
#include "stream/datalink_session.h"
#include "stream/datalink_state.h"
#include "stream/day_archive.h"
#include "stream/record_ring.h"

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw::stream {

struct DataLinkOptions {
    std::string host;
    int port = 0;
    // The position file in the station folder.
    std::filesystem::path state_file;
    // "program:user:pid:architecture", sent with ID.
    std::string client_id = "terrawave";
};

struct DataLinkStatus {
    bool up = false;              // connected, and the server takes records
    std::string server;           // "host:port"
    std::int64_t behind_us = 0;   // newest record made minus newest acknowledged, worst stream
    bool from_archive = false;    // up, and a stream is catching up from the day archive
    std::uint64_t acknowledged = 0;  // records acknowledged since the program started
    std::string problem;          // why the link is down ("" when up)
};

// The feed in a few words, for the status line and the main window:
// "DataLink up, 0 s behind", "DataLink down, 75 s behind, catching up from
// the archive".
std::string describe_feed(const DataLinkStatus& status);

class DataLinkClient {
public:
    using Report = std::function<void(const std::string& line)>;

    static constexpr std::int64_t first_retry_ms = 1000;
    static constexpr std::int64_t last_retry_ms = 60000;
    // A connection attempt that has neither succeeded nor failed by then
    // is given up (a server address that swallows packets).
    static constexpr std::int64_t connect_timeout_ms = 15000;
    // The position file reaches the device at least this often.
    static constexpr std::int64_t durable_every_ms = 10000;
    // While records are on their way (a catch-up) the file is replaced at
    // most this often: each replacement costs the disk a millisecond or
    // more, which would make a day of catch-up take minutes. Live records
    // are acknowledged with nothing else on the way, and written at once.
    static constexpr std::int64_t busy_save_ms = 100;
    // Bytes read from the server per notification.
    static constexpr std::size_t read_chunk = 4096;

    DataLinkClient(DataLinkOptions options, StreamCodes codes, const RecordRing& ring,
                   const DayArchive* archive, platform::TcpConnector& connector,
                   const platform::Clock& clock, Report report);
    // Writes the position file and drops the connection.
    ~DataLinkClient();
    DataLinkClient(const DataLinkClient&) = delete;
    DataLinkClient& operator=(const DataLinkClient&) = delete;

    // Reads the position file and connects.
    void start();
    // New records are in the ring.
    void records_added();
    // Once a second: connection attempts when due, overdue replies, the
    // position file.
    void tick();

    DataLinkStatus status() const;
    // Every record made has been acknowledged, or the link is down: nothing
    // to wait for before the program ends.
    bool settled() const;
    std::string server() const { return options_.host + ":" + std::to_string(options_.port); }
    // The positions as they are now (what the file gets).
    DataLinkState positions() const;

private:
    struct Lane {
        std::string id;                      // "NET_STA_LOC_CHAN/MSEED"
        std::array<char, 5> key{};           // location and channel of its records
        std::string channel;                 // "HHZ"
        std::optional<std::int64_t> acked_us;  // start of the last record acknowledged
        std::optional<std::int64_t> sent_us;   // start of the last record written
        std::uint32_t cursor = 0;            // next ring record to look at
        std::unique_ptr<ArchiveBacklog> backlog;  // while the archive may hold more
        std::optional<Record> held;          // read from the archive, not yet written
        std::int64_t newest_us = 0;          // start of the newest record made
        std::int64_t first_us = 0;           // start of the first record known
        bool loss_reported = false;
    };
    struct Written {
        std::size_t lane;
        std::int64_t start_us;
    };

    Lane& lane_for(const Record& record, std::uint32_t sequence);
    Lane* find_lane(const std::string& id);
    void connect();
    void connected(std::unique_ptr<platform::TcpConnection> link, const std::string& error);
    void read();
    void failed(std::string why);  // by value: it may be the session's own text
    void pump();
    void flush();
    // The next record a lane should write, or none for now.
    const Record* next_of(Lane& lane);
    // Puts the lane back to its last acknowledged record.
    void rewind(Lane& lane);
    void start_backlog(Lane& lane);
    void take_acknowledgements();
    void save_positions(bool durable);
    void became_up();
    std::int64_t today() const;

    DataLinkOptions options_;
    StreamCodes codes_;
    const RecordRing& ring_;
    const DayArchive* archive_;
    platform::TcpConnector& connector_;
    const platform::Clock& clock_;
    Report report_;

    std::vector<Lane> lanes_;
    std::uint32_t scan_ = 0;  // next ring record not yet seen
    std::size_t round_robin_ = 0;
    std::deque<Written> written_;

    std::unique_ptr<platform::TcpConnection> link_;
    std::unique_ptr<DataLinkSession> session_;
    bool connecting_ = false;
    bool up_ = false;
    bool started_ = false;
    std::int64_t attempt_started_ms_ = 0;
    std::int64_t next_attempt_ms_ = 0;
    std::int64_t retry_ms_ = first_retry_ms;
    bool outage_reported_ = false;
    std::string problem_ = "not connected yet";
    std::uint64_t acknowledged_ = 0;

    bool positions_changed_ = false;   // since the last write of the file
    bool positions_unsynced_ = false;  // written, not yet synchronised
    std::int64_t last_durable_ms_ = 0;
    std::int64_t last_save_ms_ = 0;
    bool save_failing_ = false;
};

}  // namespace tw::stream
