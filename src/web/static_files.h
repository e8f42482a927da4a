#pragma once
// Files sent over HTTP: a path of a request turned into a file under one
// folder, never outside it, and the answer for that file with the
// validators browsers and caches revalidate with.
//
// A request path is refused when its encoding is bad, when a step is "." or
// ".." (also encoded) or starts with a dot, when it holds a backslash or a
// NUL, and when the file it names, all symbolic links followed, is not a
// regular file inside the folder (a link planted in the folder that points
// out of it is refused). Only regular files are served.

#include "web/http_message.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tw::web {

// Why a path was not served.
enum class PathRefusal { none, bad_encoding, bad_step, missing, outside, not_a_file };
std::string_view to_string(PathRefusal refusal);

// "%41b+c" as "Ab+c" ('+' stays: paths are not form data); nullopt for a
// '%' not followed by two hex digits.
std::optional<std::string> percent_decode(std::string_view text);

struct ResolvedPath {
    std::filesystem::path file;  // canonical; empty unless refusal is none
    PathRefusal refusal = PathRefusal::none;
};
// The file `url_path` (percent-encoded, relative: "drums/drum_1.JPG" or
// "/drums/drum_1.JPG") names under `folder`.
ResolvedPath resolve_under(const std::filesystem::path& folder, std::string_view url_path);

// The Content-Type of a file by its extension, whatever its letter case.
std::string content_type_of(const std::filesystem::path& file);

// "Sun, 06 Nov 1994 08:49:37 GMT" for seconds since 1970, and back;
// nullopt for a text not of that form.
std::string http_date(std::int64_t unix_seconds);
std::optional<std::int64_t> parse_http_date(std::string_view text);

// Files larger than this are not read into an answer (a day track or an
// event file of days would hold the memory of the station).
inline constexpr std::uintmax_t max_file_bytes = 64u << 20;

// The answer for a regular file: 200 with its bytes, or 304 when the
// request's validators match (If-None-Match first, else If-Modified-Since).
// Every answer carries ETag (size and modification time), Last-Modified and
// `cache_control`. 404 when the file cannot be read, 413 above
// max_file_bytes.
Response file_response(const std::filesystem::path& file, const Request& request,
                       std::string_view cache_control);

}  // namespace tw::web
