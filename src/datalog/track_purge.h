#pragma once
// The purge of old day tracks, one day index per call so that the once-a-
// second housekeeping never spends long on it.
//
// A pass walks the day indexes ("MMDD.ll1" .. "MMDD.ll4") of the datalog
// folder in name order; the listing is taken afresh at the start of each
// pass. An index whose first line is "START :YYYY/MM/DD ..." with a real
// date before the limit has its whole day deleted: the twelve files MMDD
// .ll1-4, .ch1-4 and .lg1-4 (missing ones are skipped). Nothing else is
// deleted: no index without a readable START date, nothing outside the
// folder (links are neither read nor followed; a link among the twelve is
// removed itself, never what it points to), and never the files named after
// today, whatever the number of days: the day name has no year, so last
// year's index of today's date names today's tracks too.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tw::datalog {

class TrackPurge {
public:
    explicit TrackPurge(std::filesystem::path datalog_folder);

    struct Step {
        std::string deleted_day;  // "MMDD" of the day deleted, "" for none
        std::string error;        // what could not be deleted, and why
    };

    // Looks at the next day index. `today` is "YYYY/MM/DD"; days before
    // today − `keep_days` are deleted (fewer than 1 day counts as 1).
    // Nothing is done for a `today` that is no date.
    Step step(std::string_view today, int keep_days);

    // Index files in the listing of the current pass.
    std::size_t listing_size() const { return listing_.size(); }

private:
    void refresh_listing();

    std::filesystem::path folder_;
    std::vector<std::string> listing_;  // file names, sorted
    std::size_t next_ = 0;
};

}  // namespace tw::datalog
