#include "datalog/track_purge.h"

#include "config/time_stamp.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>
#include <system_error>

namespace tw::datalog {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view start_label = "START :";
constexpr std::array<std::string_view, 3> kinds = {".ll", ".ch", ".lg"};

// "0105.ll3" and the like: a day index of channel 1..4.
bool is_day_index(std::string_view name) {
    if (name.size() < 5) return false;
    const std::string_view tail = name.substr(name.size() - 4);
    return tail.starts_with(".ll") && tail[3] >= '1' && tail[3] <= '4';
}

std::optional<std::int64_t> day_number(std::string_view date) {
    const auto seconds = config::stamp_seconds(date);
    if (!seconds) return std::nullopt;
    return *seconds / 86400;
}

// The date of the first line, when it is "START :YYYY/MM/DD...".
std::string first_start_date(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char head[32] = {};
    in.read(head, sizeof head);
    const std::string_view line(head, static_cast<std::size_t>(in.gcount()));
    if (!line.starts_with(start_label) || line.size() < start_label.size() + 10) return {};
    return std::string(line.substr(start_label.size(), 10));
}

}  // namespace

TrackPurge::TrackPurge(fs::path datalog_folder) : folder_(std::move(datalog_folder)) {}

void TrackPurge::refresh_listing() {
    listing_.clear();
    next_ = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (is_day_index(name)) listing_.push_back(name);
    }
    std::sort(listing_.begin(), listing_.end());
}

TrackPurge::Step TrackPurge::step(std::string_view today, int keep_days) {
    Step result;
    const auto today_number = day_number(today);
    if (!today_number || today.size() != 10) return result;
    if (next_ >= listing_.size()) refresh_listing();
    if (listing_.empty()) return result;
    const std::string name = listing_[next_++];

    const fs::path index = folder_ / name;
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(index, ec))) return result;
    const std::string date = first_start_date(index);
    const auto day = day_number(date);
    const std::int64_t limit = *today_number - std::max(keep_days, 1);
    if (!day || *day >= limit) return result;

    const std::string stem = name.substr(0, name.size() - 4);
    const std::string today_name = std::string(today.substr(5, 2)) + std::string(today.substr(8, 2));
    if (stem == today_name) return result;

    for (const auto kind : kinds) {
        for (char channel = '1'; channel <= '4'; ++channel) {
            const fs::path file = folder_ / (stem + std::string(kind) + channel);
            std::error_code remove_error;
            // remove() takes a link itself, not its target.
            if (!fs::remove(file, remove_error) && remove_error &&
                remove_error != std::errc::no_such_file_or_directory) {
                if (!result.error.empty()) result.error += "; ";
                result.error += "cannot delete " + file.string() + ": " + remove_error.message();
            }
        }
    }
    result.deleted_day = stem;
    return result;
}

}  // namespace tw::datalog
