#pragma once
// Packs the samples of one channel into 512-byte miniSEED records
// (Steim-2, big-endian, blockettes 1000 and 1001).
//
// Samples come one by one with their board time. They gather into the
// record being built until it is full; then it is handed to the record
// sink. A record ends early, and holds fewer samples, when
// - the next sample is not where the record's rate puts it (a gap, a
//   board clock correction, a restart of the board): the next record starts
//   at that sample's true time, so no sample is ever stamped with a time
//   other than its own, give or take half a sample period;
// - the next sample belongs to another day: records never span midnight;
// - the rate changes;
// - flush() is called: the first sample waiting is older than the live
//   limit, the run stops or the board restarts.

#include "stream/record.h"
#include "stream/record_timing.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct MSRecord_s;

namespace tw::stream {

class RecordPacker {
public:
    using Sink = std::function<void(const Record&)>;

    // `location` and `channel_code` name the stream; `channel` is the board
    // channel 1..4.
    RecordPacker(const std::string& network, const std::string& station,
                 const std::string& location, const std::string& channel_code, int channel,
                 Sink sink);
    ~RecordPacker();
    RecordPacker(const RecordPacker&) = delete;
    RecordPacker& operator=(const RecordPacker&) = delete;

    // One sample at `time_us` (microseconds since 1970), of a stream of
    // `rate` samples per second. A rate of 0 or less is not taken.
    // `now_ms` is the monotonic time at which it arrived.
    void add(std::int32_t value, std::int64_t time_us, double rate, std::int64_t now_ms);
    // Packs every waiting sample, into one shorter record if need be; the
    // next sample continues the same time line.
    void flush();
    // flush() when the first waiting sample arrived `max_age_ms` or more
    // before `now_ms`.
    void flush_if_older(std::int64_t now_ms, std::int64_t max_age_ms);
    // flush(), and the next sample starts a new time line wherever it lies.
    void break_line();

    // Where each record's timing comes from (the board clock's state at its
    // first sample); without one, records say the clock was never
    // synchronised.
    using TimingSource = std::function<RecordTiming(std::int64_t start_us)>;
    void set_timing_source(TimingSource source) { timing_ = std::move(source); }

    int waiting() const { return static_cast<int>(samples_.size()); }
    // Records handed to the sink so far.
    std::uint64_t records() const { return records_; }

private:
    static void on_record(char* data, int length, void* self);
    void pack(bool flush_all);
    std::int64_t time_of(std::int64_t index) const;

    MSRecord_s* msr_ = nullptr;
    Record prototype_;
    Sink sink_;
    TimingSource timing_;
    std::vector<std::int32_t> samples_;
    // The time line: the first sample of the line is at line_start_us_,
    // sample k of the line at line_start_us_ + k / rate_.
    bool line_open_ = false;
    double rate_ = 0;
    std::int64_t line_start_us_ = 0;
    std::int64_t line_index_ = 0;   // line index of samples_[0]
    std::int64_t day_ = 0;          // day number of the samples waiting
    std::int64_t first_arrival_ms_ = 0;
    // Filled by on_record while pack() runs.
    std::int64_t packed_so_far_ = 0;
    std::uint64_t records_ = 0;
};

}  // namespace tw::stream
