#include "web/static_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>

namespace tw::web {

namespace fs = std::filesystem;

Response text_response(int status, std::string text) {
    Response response;
    response.status = status;
    response.body = std::move(text);
    response.body += '\n';
    return response;
}

std::string_view to_string(PathRefusal refusal) {
    switch (refusal) {
        case PathRefusal::none: return "served";
        case PathRefusal::bad_encoding: return "bad percent encoding";
        case PathRefusal::bad_step: return "path step not allowed";
        case PathRefusal::missing: return "no such file";
        case PathRefusal::outside: return "outside the served folder";
        case PathRefusal::not_a_file: return "not a regular file";
    }
    return "refused";
}

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool inside(const fs::path& folder, const fs::path& file) {
    auto f = file.begin();
    for (auto d = folder.begin(); d != folder.end(); ++d, ++f) {
        if (d->empty()) continue;  // a trailing separator
        if (f == file.end() || *f != *d) return false;
    }
    return f != file.end();
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

constexpr std::array<const char*, 7> day_names = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> month_names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Days since 1970/01/01 of a civil date.
std::int64_t days_from_civil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = static_cast<int>(y - era * 400);
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

std::optional<std::string> percent_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hex_value(text[i + 1]);
        const int low = hex_value(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

ResolvedPath resolve_under(const fs::path& folder, std::string_view url_path) {
    const auto decoded = percent_decode(url_path);
    if (!decoded) return {{}, PathRefusal::bad_encoding};
    std::string_view rest = *decoded;
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    if (rest.empty()) return {{}, PathRefusal::missing};
    fs::path relative;
    std::size_t start = 0;
    while (start <= rest.size()) {
        const auto end = std::min(rest.find('/', start), rest.size());
        const auto step = rest.substr(start, end - start);
        if (step.empty() || step.front() == '.' ||
            step.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos)
            return {{}, PathRefusal::bad_step};
        relative /= std::string(step);
        start = end + 1;
    }
    std::error_code error;
    const fs::path root = fs::canonical(folder, error);
    if (error) return {{}, PathRefusal::missing};
    const fs::path file = fs::canonical(root / relative, error);
    if (error) return {{}, PathRefusal::missing};
    if (!inside(root, file)) return {{}, PathRefusal::outside};
    if (!fs::is_regular_file(file, error)) return {{}, PathRefusal::not_a_file};
    return {file, PathRefusal::none};
}

std::string content_type_of(const fs::path& file) {
    const std::string extension = lower(file.extension().string());
    if (extension == ".html") return "text/html; charset=utf-8";
    if (extension == ".js" || extension == ".mjs") return "text/javascript; charset=utf-8";
    if (extension == ".css") return "text/css; charset=utf-8";
    if (extension == ".json") return "application/json";
    if (extension == ".svg") return "image/svg+xml";
    if (extension == ".png") return "image/png";
    if (extension == ".jpg" || extension == ".jpeg") return "image/jpeg";
    if (extension == ".gif") return "image/gif";
    if (extension == ".bmp") return "image/bmp";
    if (extension == ".ico") return "image/x-icon";
    if (extension == ".txt" || extension == ".dat") return "text/plain; charset=iso-8859-1";
    return "application/octet-stream";
}

std::string http_date(std::int64_t unix_seconds) {
    const std::time_t t = static_cast<std::time_t>(unix_seconds);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  day_names[static_cast<std::size_t>(parts.tm_wday)], parts.tm_mday,
                  month_names[static_cast<std::size_t>(parts.tm_mon)], parts.tm_year + 1900,
                  parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::optional<std::int64_t> parse_http_date(std::string_view text) {
    // "Sun, 06 Nov 1994 08:49:37 GMT", the only form a browser sends back.
    if (text.size() != 29 || text.substr(3, 2) != ", " || text.substr(25) != " GMT")
        return std::nullopt;
    auto number = [&](std::size_t at, std::size_t digits) -> int {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const auto month = std::find(month_names.begin(), month_names.end(), text.substr(8, 3));
    const int day = number(5, 2), year = number(12, 4);
    const int hour = number(17, 2), minute = number(20, 2), second = number(23, 2);
    if (month == month_names.end() || day < 1 || day > 31 || year < 0 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60 || text[16] != ' ' ||
        text[19] != ':' || text[22] != ':')
        return std::nullopt;
    const int m = static_cast<int>(month - month_names.begin()) + 1;
    return days_from_civil(year, m, day) * 86400 + hour * 3600 + minute * 60 + second;
}

Response file_response(const fs::path& file, const Request& request,
                       std::string_view cache_control) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return text_response(404, "Not found");
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    char tag[64];
    std::snprintf(tag, sizeof tag, "\"%jx-%jx-%lx\"", size, static_cast<std::intmax_t>(info.st_mtim.tv_sec),
                  static_cast<unsigned long>(info.st_mtim.tv_nsec));
    const std::int64_t modified = info.st_mtim.tv_sec;

    Response response;
    response.add_header("ETag", tag);
    response.add_header("Last-Modified", http_date(modified));
    response.add_header("Cache-Control", std::string(cache_control));
    // Event files and pictures are what their type says, never a script.
    response.add_header("X-Content-Type-Options", "nosniff");
    response.content_type = content_type_of(file);

    bool unchanged = false;
    if (!request.if_none_match.empty()) {
        unchanged = request.if_none_match == "*" ||
                    request.if_none_match.find(tag) != std::string::npos;
    } else if (const auto since = parse_http_date(request.if_modified_since)) {
        unchanged = modified <= *since;
    }
    if (unchanged) {
        response.status = 304;
        response.content_type.clear();
        return response;
    }
    if (size > max_file_bytes) {
        Response refused = text_response(413, "File too large to serve");
        return refused;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return text_response(404, "Not found");
    response.body.resize(size);
    in.read(response.body.data(), static_cast<std::streamsize>(size));
    // The file may have shrunk since stat: send what was read.
    response.body.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return response;
}

}  // namespace tw::web
