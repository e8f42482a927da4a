#include "web/station_site.h"

#include "web/picture_list.h"
#include "web/static_files.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>

namespace tw::web {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view revalidate = "no-cache";

Response json_response(std::string body, std::string_view cache_control) {
    Response response;
    response.content_type = "application/json";
    response.body = std::move(body);
    response.add_header("Cache-Control", std::string(cache_control));
    return response;
}

// Size and modification time of a file as a validator; empty when missing.
std::string file_tag(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return {};
    char tag[64];
    std::snprintf(tag, sizeof tag, "\"%jx-%jx-%lx\"", static_cast<std::uintmax_t>(info.st_size),
                  static_cast<std::intmax_t>(info.st_mtim.tv_sec),
                  static_cast<unsigned long>(info.st_mtim.tv_nsec));
    return tag;
}

bool matches(const Request& request, const std::string& tag) {
    return !tag.empty() && request.if_none_match.find(tag) != std::string::npos;
}

Response not_modified(const std::string& tag) {
    Response response;
    response.status = 304;
    response.content_type.clear();
    response.add_header("ETag", tag);
    response.add_header("Cache-Control", std::string(revalidate));
    return response;
}

std::vector<std::string> read_lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

StationSite::StationSite(SiteContext context) : context_(std::move(context)) {}

bool StationSite::owns(std::string_view path) { return !starts_with(path, "/fdsnws/"); }

Response StationSite::handle(const Request& request) {
    if (request.method != "GET" && request.method != "HEAD") {
        auto response = text_response(405, "Only GET and HEAD");
        response.add_header("Allow", "GET, HEAD");
        return response;
    }
    const std::string_view path = request.path;
    if (path == "/" || path.empty()) {
        if (context_.page_folder.empty())
            return text_response(404, "The station page is not installed (building it needs node and npm); "
                                      "its API under /api/ is served.");
        return file_response(context_.page_folder / "index.html", request, revalidate);
    }
    if (path == "/api/status") return status();
    if (path == "/api/events") return events(request);
    if (path == "/api/pictures") return pictures();
    if (starts_with(path, "/api/event/")) return event_samples(path.substr(11), request);
    if (starts_with(path, "/api/spectrogram/")) return spectrogram(path.substr(17), request);
    if (starts_with(path, "/events/")) return event_download(path.substr(8), request);
    if (starts_with(path, "/drums/")) {
        const auto resolved = resolve_under(context_.drums_folder, path.substr(7));
        PictureFile picture;
        if (resolved.refusal != PathRefusal::none ||
            !parse_picture_name(resolved.file.filename().string(), &picture))
            return text_response(404, "No such picture");
        return file_response(resolved.file, request, revalidate);
    }
    if (starts_with(path, "/api/")) return text_response(404, "No such API call");
    const auto resolved = context_.page_folder.empty() ? ResolvedPath{{}, PathRefusal::missing}
                                                       : resolve_under(context_.page_folder, path);
    if (resolved.refusal != PathRefusal::none)
        return text_response(404, "Not found: " + std::string(to_string(resolved.refusal)));
    return file_response(resolved.file, request, revalidate);
}

const std::vector<EventEntry>& StationSite::listed() {
    const std::string tag = file_tag(context_.event_list_file);
    if (tag != listed_tag_ || tag.empty()) {
        listed_ = last_events(read_lines(context_.event_list_file), listed_events);
        listed_tag_ = tag;
        events_answer_.clear();
    }
    return listed_;
}

Response StationSite::status() {
    StatusSnapshot snapshot = context_.status ? context_.status() : StatusSnapshot{};
    if (const auto& entries = listed(); !entries.empty()) {
        snapshot.last_event_time = entries.front().start;
        snapshot.last_event_file = entries.front().file;
    }
    return json_response(status_json(snapshot), "no-store");
}

Response StationSite::events(const Request& request) {
    const auto& entries = listed();
    if (!listed_tag_.empty() && matches(request, listed_tag_)) return not_modified(listed_tag_);
    if (events_answer_.empty()) {
        std::vector<std::optional<EventHeader>> headers;
        for (const auto& entry : entries) {
            const auto file = event_file(entry.file);
            headers.push_back(file ? read_event_header(*file) : std::nullopt);
        }
        events_answer_ = events_json(entries, headers,
                                     context_.event_extensions ? context_.event_extensions()
                                                               : std::vector<std::string>{});
    }
    auto response = json_response(events_answer_, revalidate);
    if (!listed_tag_.empty()) response.add_header("ETag", listed_tag_);
    return response;
}

std::optional<fs::path> StationSite::event_file(std::string_view name) {
    if (!is_event_file_name(name) || !context_.events_folder) return std::nullopt;
    const fs::path folder = context_.events_folder();
    // Sent events move to "sent/" below the events folder.
    for (const auto& candidate : {fs::path(name), fs::path("sent") / name}) {
        const auto resolved = resolve_under(folder, candidate.string());
        if (resolved.refusal == PathRefusal::none) return resolved.file;
    }
    return std::nullopt;
}

Response StationSite::event_samples(std::string_view name, const Request& request) {
    const auto file = event_file(name);
    if (!file) return text_response(404, "No such event file");
    const std::string tag = file_tag(*file);
    if (matches(request, tag)) return not_modified(tag);
    if (tag.empty() || tag + file->string() != plotted_tag_) {
        std::string error;
        const auto data = read_event_file(*file, max_plot_samples, &error);
        if (!data) return text_response(422, error);
        plotted_answer_ = event_samples_json(name, *data);
        plotted_tag_ = tag + file->string();
    }
    auto response = json_response(plotted_answer_, revalidate);
    response.add_header("ETag", tag);
    return response;
}

Response StationSite::event_download(std::string_view name, const Request& request) {
    const auto file = event_file(name);
    if (!file) return text_response(404, "No such event file");
    auto response = file_response(*file, request, revalidate);
    if (response.status == 200) {
        response.content_type = "text/plain; charset=iso-8859-1";
        response.add_header("Content-Disposition",
                            "attachment; filename=\"" + std::string(name) + "\"");
    }
    return response;
}

Response StationSite::pictures() {
    const auto live = context_.live_spectrograms ? context_.live_spectrograms() : std::vector<int>{};
    return json_response(pictures_json(list_pictures(context_.drums_folder), live), "no-store");
}

Response StationSite::spectrogram(std::string_view rest, const Request& request) {
    if (rest.size() != 5 || rest.substr(1) != ".png" || rest[0] < '1' || rest[0] > '4' ||
        !context_.spectrogram)
        return text_response(404, "No such spectrogram");
    const auto picture = context_.spectrogram(rest[0] - '0');
    if (!picture) return text_response(404, "No spectrogram drawn on that channel today");
    if (matches(request, picture->tag)) return not_modified(picture->tag);
    Response response;
    response.content_type = picture->content_type;
    response.body = picture->bytes;
    response.add_header("ETag", picture->tag);
    response.add_header("Cache-Control", std::string(revalidate));
    return response;
}

void add_station_page_routes(Router& router, StationSite& site) {
    router.add_prefix("/", [&site](const platform::HttpRequest& in) {
        Request request;
        request.method = in.method;
        // The server hands the path decoded; the site decodes once more,
        // so a '%' that was sent encoded stays a '%'.
        for (const char c : in.path) {
            if (c == '%') request.path += "%25";
            else request.path += c;
        }
        request.query = in.query;
        request.if_none_match = in.if_none_match;
        request.if_modified_since = in.if_modified_since;
        Response answer = site.handle(request);
        platform::HttpResponse out;
        out.status = answer.status;
        out.content_type = std::move(answer.content_type);
        out.headers = std::move(answer.headers);
        out.body = std::move(answer.body);
        return out;
    });
}

}  // namespace tw::web
