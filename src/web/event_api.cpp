#include "web/event_api.h"

#include "web/json.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>

namespace tw::web {

namespace {

bool digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isdigit(c) != 0;
    });
}

// "YYYY/MM/DD HH:MM:SS" with digits where digits belong.
bool is_time_text(std::string_view t) {
    return t.size() == 19 && digits(t.substr(0, 4)) && t[4] == '/' && digits(t.substr(5, 2)) &&
           t[7] == '/' && digits(t.substr(8, 2)) && t[10] == ' ' && digits(t.substr(11, 2)) &&
           t[13] == ':' && digits(t.substr(14, 2)) && t[16] == ':' && digits(t.substr(17, 2));
}

std::string_view trim(std::string_view t) {
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
    return t;
}

double number_of(std::string_view t) {
    t = trim(t);
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    double value = 0;
    const auto result = std::from_chars(t.data(), t.data() + t.size(), value);
    return result.ec == std::errc() ? value : 0;
}

// The text after `label` up to the next blank.
std::optional<std::string_view> after(std::string_view line, std::string_view label) {
    const auto at = line.find(label);
    if (at == std::string_view::npos) return std::nullopt;
    auto rest = line.substr(at + label.size());
    return rest.substr(0, rest.find(' '));
}

std::optional<std::int32_t> sample_of(std::string_view line) {
    line = trim(line);
    if (!line.empty() && line.front() == '+') line.remove_prefix(1);
    std::int32_t value = 0;
    const auto result = std::from_chars(line.data(), line.data() + line.size(), value);
    if (result.ec != std::errc() || result.ptr != line.data() + line.size()) return std::nullopt;
    return value;
}

std::string without_cr(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// Reads the header from `in`, leaving it at the first sample line.
std::optional<EventHeader> read_header(std::istream& in) {
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    line = without_cr(line);
    EventHeader header;
    if (line.rfind("! PSN ASCII Event File Format", 0) == 0) {
        // Keyed lines up to "Data:"; a header has some forty lines.
        for (int n = 0; n < 200 && std::getline(in, line); ++n) {
            line = without_cr(line);
            if (line.rfind("Data:", 0) == 0) return header;
            const auto colon = line.find(':');
            if (colon == std::string::npos) continue;
            const auto key = std::string_view(line).substr(0, colon);
            const auto value = trim(std::string_view(line).substr(colon + 1));
            if (key == "Start Time") header.start = std::string(value);
            else if (key == "SPS") header.rate = number_of(value);
            else if (key == "Number of Samples") header.samples = static_cast<std::uint64_t>(std::max(0.0, number_of(value)));
        }
        return std::nullopt;
    }
    // The one-line header: start time (23), count (10), rate (3), ...
    if (line.size() < 38 || !is_time_text(std::string_view(line).substr(0, 19))) return std::nullopt;
    header.start = line.substr(0, 23);
    header.samples = static_cast<std::uint64_t>(std::max(0.0, number_of(line.substr(24, 10))));
    header.rate = number_of(line.substr(35, 3));
    return header;
}

}  // namespace

bool is_event_file_name(std::string_view name) {
    if (name.size() < 15 || name.size() > 24) return false;
    if (!digits(name.substr(0, 6)) || name[6] != '.' || !digits(name.substr(7, 6))) return false;
    auto rest = name.substr(13);
    if (rest.front() == '_') {
        const auto dot = rest.find('.');
        if (dot == std::string_view::npos || dot < 2 || dot > 5 || !digits(rest.substr(1, dot - 1)))
            return false;
        rest = rest.substr(dot);
    }
    if (rest.front() != '.') return false;
    const auto extension = rest.substr(1);
    return !extension.empty() && extension.size() <= 3 &&
           std::all_of(extension.begin(), extension.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

std::optional<EventEntry> parse_event_summary(std::string_view line) {
    // Logged time, blank, name, blank, start time, " L:".
    if (line.size() < 40 || !is_time_text(line.substr(0, 19)) || line[19] != ' ') return std::nullopt;
    auto rest = line.substr(20);
    const auto blank = rest.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    EventEntry entry;
    entry.logged = std::string(line.substr(0, 19));
    entry.file = std::string(rest.substr(0, blank));
    rest = rest.substr(blank + 1);
    if (!is_event_file_name(entry.file) || rest.size() < 22 || !is_time_text(rest.substr(0, 19)) ||
        rest.substr(19, 3) != " L:")
        return std::nullopt;
    entry.start = std::string(rest.substr(0, 19));
    entry.samples = static_cast<std::uint64_t>(std::max(0.0, number_of(*after(rest, " L:"))));
    if (const auto ratio = after(rest, "Max SLTA:")) entry.max_ratio = number_of(*ratio);
    if (const auto amplitude = after(rest, "Max Amplit:"))
        entry.max_amplitude = static_cast<std::int64_t>(number_of(*amplitude));
    return entry;
}

std::vector<EventEntry> last_events(const std::vector<std::string>& lines, std::size_t count) {
    std::vector<EventEntry> out;
    for (auto line = lines.rbegin(); line != lines.rend() && out.size() < count; ++line)
        if (auto entry = parse_event_summary(*line)) out.push_back(std::move(*entry));
    return out;
}

std::optional<EventHeader> read_event_header(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    return read_header(in);
}

std::optional<EventSamples> read_event_file(const std::filesystem::path& file,
                                            std::size_t max_samples, std::string* error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = "cannot read " + file.filename().string();
        return std::nullopt;
    }
    auto header = read_header(in);
    if (!header) {
        *error = file.filename().string() + " is not an event file";
        return std::nullopt;
    }
    EventSamples data;
    data.header = *header;
    std::string line;
    while (std::getline(in, line)) {
        const auto value = sample_of(line);
        if (!value) break;
        if (data.samples.size() == max_samples) {
            data.truncated = true;
            break;
        }
        data.samples.push_back(*value);
    }
    return data;
}

int channel_of_event_file(std::string_view name, const std::vector<std::string>& extensions) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return 0;
    const auto extension = name.substr(dot + 1);
    for (std::size_t i = 0; i < extensions.size(); ++i) {
        const auto& candidate = extensions[i];
        if (candidate.size() == extension.size() &&
            std::equal(candidate.begin(), candidate.end(), extension.begin(),
                       [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                   std::tolower(static_cast<unsigned char>(b)); }))
            return static_cast<int>(i) + 1;
    }
    return 0;
}

std::string events_json(const std::vector<EventEntry>& entries,
                        const std::vector<std::optional<EventHeader>>& headers,
                        const std::vector<std::string>& extensions) {
    std::string out = "{\"events\":[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        const auto* header = i < headers.size() && headers[i] ? &*headers[i] : nullptr;
        const double rate = header ? header->rate : 0;
        if (i > 0) out += ',';
        out += "{\"file\":" + json_string(e.file);
        out += ",\"channel\":" + std::to_string(channel_of_event_file(e.file, extensions));
        out += ",\"start\":" + json_string(e.start);
        out += ",\"samples\":" + std::to_string(e.samples);
        out += ",\"rate\":" + json_number(rate);
        out += ",\"duration_seconds\":" +
               (rate > 0 ? json_number(static_cast<double>(e.samples) / rate) : std::string("null"));
        out += ",\"max_ratio\":" + json_number(e.max_ratio);
        out += ",\"max_amplitude\":" + std::to_string(e.max_amplitude);
        out += ",\"logged\":" + json_string(e.logged);
        out += ",\"available\":" + std::string(header ? "true" : "false") + "}";
    }
    out += "]}";
    return out;
}

std::string event_samples_json(std::string_view name, const EventSamples& data) {
    // "YYYY/MM/DD HH:MM:SS.fff" as an ISO time the browser reads as UTC,
    // which is how the station's standard data label board time.
    std::string start = data.header.start;
    if (start.size() >= 19) {
        start[4] = '-';
        start[7] = '-';
        start[10] = 'T';
        start += 'Z';
    }
    std::string out = "{\"file\":" + json_string(name);
    out += ",\"start\":" + json_string(start);
    out += ",\"rate\":" + json_number(data.header.rate);
    out += ",\"truncated\":" + std::string(data.truncated ? "true" : "false");
    out += ",\"samples\":[";
    out.reserve(out.size() + data.samples.size() * 7);
    for (std::size_t i = 0; i < data.samples.size(); ++i) {
        if (i > 0) out += ',';
        out += std::to_string(data.samples[i]);
    }
    out += "]}";
    return out;
}

}  // namespace tw::web
