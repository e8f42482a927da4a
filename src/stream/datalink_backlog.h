#pragma once
// The records of one stream that the day archive holds after a given time,
// read day file by day file in the order they were archived: what the
// DataLink feed sends after an outage longer than the ring of records in
// memory, or after a restart of the program.
//
// Each call reads at most one buffer of records (64 KiB), so a day of
// catch-up never holds the event loop. The place in a day file is found by
// halving (the records of a day file are in time order), not by reading
// the day from its start.

#include "stream/day_archive.h"
#include "stream/record.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw::stream {

// Two records of a stream start at least a sample apart; the start of the
// same record as the packer gave it and as read back from its header may
// differ by a microsecond of rounding. Starts closer than this are the same.
inline constexpr std::int64_t same_start_slack_us = 100;

// A record as archived: its codes, start and end from the miniSEED header.
// None when the bytes are not a miniSEED record.
std::optional<Record> record_from_bytes(const std::uint8_t* bytes);

class ArchiveBacklog {
public:
    // Records of `channel` ("HHZ") with a start after `after_us`, from the
    // day of `after_us` to day `last_day` (days since 1970) at most.
    ArchiveBacklog(const DayArchive& archive, std::string channel, std::int64_t after_us,
                   std::int64_t last_day);
    ~ArchiveBacklog();
    ArchiveBacklog(const ArchiveBacklog&) = delete;
    ArchiveBacklog& operator=(const ArchiveBacklog&) = delete;

    // The next record, or none when the files hold no more for now (the
    // last day's file may still grow; a later call sees what it gained).
    std::optional<Record> next();
    // Moves the last day on (today's day, as the clock goes on).
    void extend_to(std::int64_t last_day) { last_day_ = std::max(last_day_, last_day); }
    // 512-byte blocks that were not miniSEED records and were skipped.
    std::uint64_t damaged() const { return damaged_; }

private:
    bool open_day();
    void close_day();
    // First record index of the open file whose start is after after_us.
    std::uint64_t locate(std::uint64_t records);

    const DayArchive& archive_;
    std::string channel_;
    std::int64_t after_us_;
    std::int64_t day_;
    std::int64_t last_day_;
    int fd_ = -1;
    std::uint64_t index_ = 0;  // next record of the open file
    std::vector<std::uint8_t> buffer_;
    std::size_t buffered_ = 0, taken_ = 0;  // records in buffer_, and taken of them
    std::uint64_t damaged_ = 0;
};

}  // namespace tw::stream
