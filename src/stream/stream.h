#pragma once
// Standard data for the field, beside the station's own files: every
// channel that acquires is packed into miniSEED records (record_packer.h),
// which go into the day archive (day_archive.h), the ring of recent
// records that the data server serves (seedlink_server.h) and the feed to
// a ring server (datalink_client.h).
//
// The station hands over every conditioned sample (what the day tracks
// store) with the decoded sample it came from; its time is the board second
// of the last time packet plus the sample's place in that second. Nothing is
// taken before the board's time base is ready.
//
// Records leave at the latest live_limit_ms after their first sample
// arrived (shorter records then), so that viewers stay live.

#include "acquisition/board_clock.h"
#include "acquisition/sample_path.h"
#include "config/settings.h"
#include "platform/clock.h"
#include "platform/tcp.h"
#include "platform/tcp_connector.h"
#include "stream/channel_codes.h"
#include "stream/datalink_client.h"
#include "stream/day_archive.h"
#include "stream/record_packer.h"
#include "stream/record_ring.h"
#include "stream/record_timing.h"
#include "stream/seedlink_server.h"
#include "supervision/event_list.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tw::stream {

struct StreamOptions {
    std::string archive_root;          // --mseed ROOT; empty: no archive
    std::optional<int> seedlink_port;  // --seedlink PORT; none: no server
    std::string seedlink_bind;         // --seedlink-bind ADDRESS; empty: every address
    StreamCodes codes;                 // --network, --station, --location
    ServerLimits limits;               // clients served, per address, time to the first command
};

struct StreamContext {
    const config::Settings& settings;
    const acquisition::BoardTime& board_time;
    const acquisition::SamplePath& sample_path;
    supervision::EventList& event_list;
    const platform::Clock& clock;
    datalog::FileOps* file_ops = nullptr;  // nullptr: the real files
    // The board clock's synchronisations, for the timing of every record;
    // nullptr: records say the clock was never synchronised.
    const acquisition::SyncState* sync = nullptr;
};

class Stream {
public:
    static constexpr std::int64_t live_limit_ms = 8000;

    explicit Stream(StreamContext context);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Sets up the archive and the server; the server listens through
    // `listener` (needed when options name a port). False with the reason
    // when the codes are bad or the port cannot be listened on.
    bool open(const StreamOptions& options, platform::TcpListener* listener, std::string* error);
    // --datalink: every record also goes to a ring server (after open(),
    // which sets the codes and the archive the feed catches up from).
    void open_datalink(const DataLinkOptions& options, platform::TcpConnector& connector);
    bool enabled() const { return archive_ || server_ || datalink_; }

    // START, and every restart of the board: waiting samples are packed and
    // every channel starts a new record, named after the settings of now.
    void start_run();
    // One conditioned sample of channel 1..4.
    void take_sample(int channel, std::int32_t value, const acquisition::SampleOutput& sample);
    // The same with its time and rate given (what take_sample works out).
    void add_sample(int channel, std::int32_t value, std::int64_t time_us, double rate);
    // Once a second: records past the live limit leave, the archive is
    // synchronised at its cadence, silent clients go.
    void tick();
    // STOP: every waiting sample is packed and the archive files closed.
    void stop_run();

    const RecordRing& ring() const { return ring_; }
    const DayArchive* archive() const { return archive_.get(); }
    const SeedLinkServer* server() const { return server_.get(); }
    const DataLinkClient* datalink() const { return datalink_.get(); }
    // The channel code of channel 1..4 in this run; empty when it does not
    // acquire.
    const std::string& channel_code_of(int channel) const;

private:
    void publish(const Record& record);
    double rate_of(int channel) const;

    StreamContext context_;
    StreamCodes codes_;
    ServerIdentity identity_;
    RecordRing ring_;
    std::unique_ptr<DayArchive> archive_;
    std::unique_ptr<SeedLinkServer> server_;
    std::unique_ptr<DataLinkClient> datalink_;  // declared after the ring and archive it reads
    std::array<std::unique_ptr<RecordPacker>, 4> packers_;
    std::array<std::string, 4> channel_codes_;
    // The last board time text and its second, so that it is read once.
    std::string stamp_text_;
    std::optional<std::int64_t> stamp_second_;
    // The synchronisations seen, and the last sync_time text read.
    SyncHistory sync_history_;
    std::string sync_text_;
};

}  // namespace tw::stream
