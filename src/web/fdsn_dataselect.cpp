#include "web/fdsn_dataselect.h"

#include "stream/record.h"
#include "web/fdsn_common.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace tw::web {

namespace {

using platform::HttpResponse;
using platform::text_response;
namespace fs = std::filesystem;

constexpr std::int64_t us_per_day = 86400LL * 1000000;
constexpr std::size_t block_records = 128;  // read 64 KB at a time

int be16(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }
int be16s(const std::uint8_t* p) { return static_cast<std::int16_t>(be16(p)); }

bool field_is(const std::uint8_t* field, std::size_t size, std::string_view code) {
    for (std::size_t i = 0; i < size; ++i) {
        const char want = i < code.size() ? code[i] : ' ';
        if (static_cast<char>(field[i]) != want) return false;
    }
    return true;
}

// One stream's day files of the window, read record by record.
struct DayFile {
    fs::path path;
    std::int64_t day_start_us = 0;
};

class ArchiveSource : public platform::BodySource {
public:
    ArchiveSource(const Archive& archive, std::vector<std::pair<std::string, std::vector<DayFile>>> streams,
                  std::int64_t start_us, std::int64_t end_us)
        : archive_(archive), streams_(std::move(streams)), start_us_(start_us), end_us_(end_us),
          block_(block_records * stream::record_length) {}
    ~ArchiveSource() override { close_file(); }

    // Moves to the first record of the window; false when there is none.
    bool prime() { return next_record() != nullptr; }

    std::size_t read(char* data, std::size_t size) override {
        std::size_t copied = 0;
        while (copied + stream::record_length <= size) {
            const std::uint8_t* record = next_record();
            if (!record) break;
            std::memcpy(data + copied, record, stream::record_length);
            copied += stream::record_length;
            taken_ = true;
        }
        return copied;
    }

private:
    // The record at the reading position when it belongs in the answer
    // (the position then stays on it until it is taken); nullptr at the
    // end of everything.
    const std::uint8_t* next_record() {
        for (;;) {
            if (current_ && !taken_) return current_;
            current_ = nullptr;
            taken_ = false;
            const std::uint8_t* record = advance();
            if (!record) return nullptr;
            RecordSpan span;
            if (!read_record_span(record, archive_.codes.network, archive_.codes.station,
                                  streams_[stream_].first, span)) {
                damaged("a record at byte " + std::to_string(offset_ - stream::record_length) +
                        " cannot be read");
                continue;
            }
            if (span.end_us < start_us_ || span.start_us >= end_us_) continue;
            current_ = record;
        }
    }

    // The next 512 bytes of the files, in order; nullptr after the last.
    const std::uint8_t* advance() {
        for (;;) {
            if (fd_ >= 0) {
                if (in_block_ < block_used_) {
                    const std::uint8_t* r = block_.data() + in_block_;
                    in_block_ += stream::record_length;
                    offset_ += stream::record_length;
                    return r;
                }
                const ssize_t n = ::pread(fd_, block_.data(), block_.size(), static_cast<off_t>(offset_));
                if (n < 0) {
                    damaged(std::string("cannot be read: ") + std::strerror(errno));
                    close_file();
                } else {
                    // A partial record at the end (one being written) waits.
                    block_used_ = static_cast<std::size_t>(n) / stream::record_length * stream::record_length;
                    in_block_ = 0;
                    if (block_used_ == 0) close_file();
                }
                continue;
            }
            if (!open_next_file()) return nullptr;
        }
    }

    bool open_next_file() {
        while (stream_ < streams_.size()) {
            auto& files = streams_[stream_].second;
            if (file_ < files.size()) {
                const auto& f = files[file_++];
                fd_ = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd_ < 0) {
                    if (errno != ENOENT) damaged_path(f.path, std::string("cannot be opened: ") + std::strerror(errno));
                    continue;
                }
                path_ = f.path;
                offset_ = 0;
                in_block_ = block_used_ = 0;
                return true;
            }
            ++stream_;
            file_ = 0;
        }
        return false;
    }

    void close_file() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    void damaged(const std::string& what) { damaged_path(path_, what); }
    void damaged_path(const fs::path& path, const std::string& what) {
        if (told_.insert(path.string()).second && archive_.report) archive_.report(path, what);
    }

    const Archive archive_;
    std::vector<std::pair<std::string, std::vector<DayFile>>> streams_;
    std::int64_t start_us_, end_us_;
    std::size_t stream_ = 0, file_ = 0;
    int fd_ = -1;
    fs::path path_;
    std::uint64_t offset_ = 0;
    std::vector<std::uint8_t> block_;
    std::size_t in_block_ = 0, block_used_ = 0;
    const std::uint8_t* current_ = nullptr;
    bool taken_ = false;
    std::set<std::string> told_;
};

}  // namespace

bool read_record_span(const std::uint8_t* r, std::string_view network, std::string_view station,
                      std::string_view channel, RecordSpan& span) {
    for (int i = 0; i < 6; ++i)
        if (!((r[i] >= '0' && r[i] <= '9') || r[i] == ' ')) return false;
    if (std::strchr("DRQM", r[6]) == nullptr || r[6] == 0) return false;
    if (!field_is(r + 8, 5, station) || !field_is(r + 15, 3, channel) || !field_is(r + 18, 2, network))
        return false;
    const int year = be16(r + 20), doy = be16(r + 22);
    const int hour = r[24], minute = r[25], second = r[26], ticks = be16(r + 28);
    const int samples = be16(r + 30);
    const int factor = be16s(r + 32), multiplier = be16s(r + 34);
    if (year < 1900 || year > 2500 || doy < 1 || doy > 366 || hour > 23 || minute > 59 ||
        second > 60 || ticks > 9999 || samples <= 0 || factor == 0 || multiplier == 0)
        return false;
    double rate = 0;
    if (factor > 0) rate = multiplier > 0 ? double(factor) * multiplier : -double(factor) / multiplier;
    else rate = multiplier > 0 ? -double(multiplier) / factor : 1.0 / (double(factor) * multiplier);
    // The microseconds of blockette 1001, when the record has one.
    int usec = 0;
    std::size_t at = static_cast<std::size_t>(be16(r + 46));
    bool has_1000 = false;
    for (int links = 0; links < 12 && at >= 48 && at + 8 <= stream::record_length; ++links) {
        const int type = be16(r + at);
        if (type == 1000) has_1000 = r[at + 6] == 9;  // records of 2^9 bytes
        if (type == 1001) usec = static_cast<std::int8_t>(r[at + 5]);
        const auto next = static_cast<std::size_t>(be16(r + at + 2));
        if (next <= at) break;
        at = next;
    }
    if (!has_1000) return false;
    span.start_us = stream::civil_time_us(year, 1, 1, hour, minute, second, ticks * 100 + usec) +
                    (doy - 1) * us_per_day;
    span.end_us = span.start_us + std::llround((samples - 1) * 1e6 / rate);
    return true;
}

std::optional<std::int64_t> first_archive_day(const fs::path& root, const stream::StreamCodes& codes) {
    std::optional<std::int64_t> first;
    std::error_code ec;
    for (fs::directory_iterator year(root, ec), end; !ec && year != end; year.increment(ec)) {
        const std::string y = year->path().filename().string();
        if (y.size() != 4 || y.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code ec2;
        for (fs::directory_iterator channel(year->path() / codes.network / codes.station, ec2), stop;
             !ec2 && channel != stop; channel.increment(ec2)) {
            std::error_code ec3;
            for (fs::directory_iterator file(channel->path(), ec3), last; !ec3 && file != last;
                 file.increment(ec3)) {
                const std::string name = file->path().filename().string();
                const int day = name.size() > 4 ? std::atoi(name.c_str() + name.size() - 3) : 0;
                if (day < 1 || day > 366 || name[name.size() - 4] != '.') continue;
                const std::int64_t t = stream::civil_time_us(std::stoi(y), 1, 1, 0, 0, 0) + (day - 1) * us_per_day;
                if (!first || t < *first) first = t;
            }
        }
    }
    return first;
}

HttpResponse dataselect_query(const Query& query, const Archive& archive) {
    if (!query.error.empty()) return text_response(400, query.error);
    if (archive.root.empty())
        return text_response(404, "This station keeps no miniSEED archive: start it with "
                                  "--mseed ROOT to serve its data.");
    const auto read = read_selection(query, {"quality", "format", "minimumlength", "longestonly"});
    if (!read.error.empty()) return text_response(400, read.error);
    const Selection& s = read.selection;
    if (!s.start || !s.end) return text_response(400, "starttime and endtime are needed");
    if (const auto f = query.get("format"); f && *f != "miniseed")
        return text_response(400, "format must be miniseed");
    if (const auto q = query.get("quality"); q && !(q->size() == 1 && std::strchr("DRQMB*", (*q)[0])))
        return text_response(400, "quality must be D, R, Q, M, B or *");
    if (const auto l = query.get("longestonly"); l && *l != "false")
        return text_response(400, "longestonly is not offered");
    if (*s.end - *s.start > max_window_days * us_per_day)
        return text_response(413, "The window is longer than " + std::to_string(max_window_days) +
                                      " days: ask for it in pieces.");

    const auto& codes = archive.codes;
    auto no_data = [&] {
        if (s.nodata == 204) return text_response(204, "");
        return text_response(404, "No data matches the request.");
    };
    if (!code_matches(s.network, codes.network) || !code_matches(s.station, codes.station) ||
        !code_matches(s.location, codes.location))
        return no_data();

    // The channels of the archive in the window's years, in name order.
    std::set<std::string> channels;
    const int first_year = stream::time_parts(*s.start).year;
    const int last_year = stream::time_parts(*s.end - 1).year;
    for (int year = first_year; year <= last_year; ++year) {
        std::error_code ec;
        const fs::path folder = archive.root / std::to_string(year) / codes.network / codes.station;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() == 5 && name.ends_with(".D") && code_matches(s.channel, name.substr(0, 3)))
                channels.insert(name.substr(0, 3));
        }
    }
    std::vector<std::pair<std::string, std::vector<DayFile>>> streams;
    const std::int64_t first_day = stream::day_number(*s.start);
    const std::int64_t last_day = stream::day_number(*s.end - 1);
    for (const auto& channel : channels) {
        std::vector<DayFile> files;
        for (std::int64_t day = first_day; day <= last_day; ++day) {
            const auto t = stream::time_parts(day * us_per_day);
            files.push_back({archive.root / stream::day_file_path(codes, channel, t.year, t.day_of_year),
                             day * us_per_day});
        }
        streams.emplace_back(channel, std::move(files));
    }
    auto source = std::make_unique<ArchiveSource>(archive, std::move(streams), *s.start, *s.end);
    if (!source->prime()) return no_data();
    HttpResponse response;
    response.content_type = "application/vnd.fdsn.mseed";
    response.source = std::move(source);
    return response;
}

}  // namespace tw::web
