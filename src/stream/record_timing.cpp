#include "stream/record_timing.h"

#include <algorithm>

namespace tw::stream {

namespace {

constexpr std::size_t io_flags_byte = 37;
constexpr std::uint8_t clock_locked_bit = 0x20;

int be16(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }

// Offset of blockette 1001 in the record, 0 when it has none. The chain
// is walked forward only, at most a dozen links, inside the record.
std::size_t find_1001(const std::uint8_t* record, std::size_t size) {
    if (size < 48) return 0;
    std::size_t at = static_cast<std::size_t>(be16(record + 46));
    for (int links = 0; links < 12 && at >= 48 && at + 8 <= size; ++links) {
        if (be16(record + at) == 1001) return at;
        const auto next = static_cast<std::size_t>(be16(record + at + 2));
        if (next <= at) return 0;
        at = next;
    }
    return 0;
}

}  // namespace

RecordTiming timing_after_sync(std::optional<std::int64_t> seconds_since_sync) {
    if (!seconds_since_sync) return {};
    const std::int64_t age = std::max<std::int64_t>(*seconds_since_sync, 0);
    if (age <= locked_seconds) return {true, 100};
    const std::int64_t steps = (age - locked_seconds) / drift_step_seconds;
    return {false, static_cast<int>(std::max<std::int64_t>(10, 90 - steps))};
}

void SyncHistory::note(std::int64_t second) {
    if (!seconds_.empty() && seconds_.back() >= second) {
        if (seconds_.back() == second) return;
        // The board clock went back (set by hand): earlier marks no longer
        // describe its times.
        seconds_.clear();
    }
    seconds_.push_back(second);
    if (seconds_.size() > kept) seconds_.pop_front();
}

RecordTiming SyncHistory::at(std::int64_t time_us) const {
    const std::int64_t second = time_us >= 0 ? time_us / 1000000 : -((-time_us + 999999) / 1000000);
    for (auto it = seconds_.rbegin(); it != seconds_.rend(); ++it)
        if (*it <= second) return timing_after_sync(second - *it);
    return timing_after_sync(std::nullopt);
}

void stamp_timing(std::array<std::uint8_t, 512>& record, RecordTiming timing) {
    if (timing.clock_locked) {
        record[io_flags_byte] |= clock_locked_bit;
    } else {
        record[io_flags_byte] &= static_cast<std::uint8_t>(~clock_locked_bit);
    }
    if (const std::size_t at = find_1001(record.data(), record.size()))
        record[at + 4] = static_cast<std::uint8_t>(std::clamp(timing.quality, 0, 100));
}

RecordTiming read_timing(const std::uint8_t* record, std::size_t size) {
    RecordTiming timing;
    if (size <= io_flags_byte) return {false, -1};
    timing.clock_locked = (record[io_flags_byte] & clock_locked_bit) != 0;
    const std::size_t at = find_1001(record, size);
    timing.quality = at ? record[at + 4] : -1;
    return timing;
}

}  // namespace tw::stream
