#pragma once
// fdsnws/dataselect: the miniSEED records of the day archive that hold
// samples of the asked channels inside the asked window, as they lie in
// the day files, channel after channel, each in time order across the day
// files. The answer is streamed: the records are read from the files as
// the client takes them.
//
// A record that cannot be read (a damaged file) is left out, and the file
// is named once to `report`; a missing day file is a day without data.

#include "platform/http.h"
#include "stream/channel_codes.h"
#include "web/query.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tw::web {

// The longest window one request may ask for: a month of four channels at
// 200 samples per second is some 3 GB of records already.
inline constexpr std::int64_t max_window_days = 31;

struct Archive {
    std::filesystem::path root;  // empty: the station keeps no archive
    stream::StreamCodes codes;
    // Told once per damaged file (the caller remembers which it told).
    std::function<void(const std::filesystem::path& file, const std::string& what)> report;
};

// The start of the first day file of the station in the archive; none
// without one.
std::optional<std::int64_t> first_archive_day(const std::filesystem::path& root,
                                              const stream::StreamCodes& codes);

platform::HttpResponse dataselect_query(const Query& query, const Archive& archive);

// The start and end times of a record that can be read (its fixed header
// well formed, of `network`.`station`.`channel`, with a sample count and a
// rate); false for anything else.
struct RecordSpan {
    std::int64_t start_us = 0;
    std::int64_t end_us = 0;  // time of its last sample
};
bool read_record_span(const std::uint8_t* record, std::string_view network,
                      std::string_view station, std::string_view channel, RecordSpan& span);

}  // namespace tw::web
