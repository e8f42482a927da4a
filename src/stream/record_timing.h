#pragma once
// The board clock's state in every miniSEED record: the clock-locked bit of
// the I/O and clock flags (bit 5 of byte 37 of the fixed header) and the
// timing quality of blockette 1001 (0 to 100), for the time at which the
// record's first sample was stamped.
//
// The rule, from the board seconds since the last synchronisation that the
// board's DCF77 or GPS receiver signalled at or before that time:
//   none yet (no receiver, or never synchronised)   quality 0, bit clear;
//   up to locked_seconds                            quality 100, bit set;
//   longer                                          bit clear, quality 90
//       less one point per drift_step_seconds beyond locked_seconds,
//       never below 10 (the clock was set by the receiver once).
// A receiver marks every minute; two minutes leave room for one missed
// mark. A board crystal drifts some tens of milliseconds an hour, so the
// quality falls one point every five minutes, to 10 after about seven
// hours.

#include <array>
#include <cstdint>
#include <deque>
#include <optional>

namespace tw::stream {

struct RecordTiming {
    bool clock_locked = false;
    int quality = 0;  // 0..100
    bool operator==(const RecordTiming&) const = default;
};

inline constexpr std::int64_t locked_seconds = 120;
inline constexpr std::int64_t drift_step_seconds = 300;

// The timing of a sample stamped `seconds_since_sync` board seconds after
// the last synchronisation; none: no synchronisation yet.
RecordTiming timing_after_sync(std::optional<std::int64_t> seconds_since_sync);

// The recent synchronisations of the board clock, in board seconds since
// 1970, so that a record packed a few seconds after its first sample still
// gets the state of that sample's time.
class SyncHistory {
public:
    // A synchronisation at board second `second` (kept once, in order).
    void note(std::int64_t second);
    // Forgets every synchronisation (a new board clock).
    void clear() { seconds_.clear(); }
    // The timing of a sample at `time_us` (microseconds since 1970).
    RecordTiming at(std::int64_t time_us) const;

private:
    static constexpr std::size_t kept = 16;
    std::deque<std::int64_t> seconds_;
};

// Writes `timing` into a packed 512-byte record: the clock-locked bit and
// the quality of its blockette 1001 (left as it is when the record has
// none).
void stamp_timing(std::array<std::uint8_t, 512>& record, RecordTiming timing);
// The timing a record carries; quality -1 when it has no blockette 1001.
RecordTiming read_timing(const std::uint8_t* record, std::size_t size);

}  // namespace tw::stream
