#pragma once
// HTTP as the station's services see it: a request that has arrived whole
// (method, path, raw query, the peer) and the answer to send. The transport
// (platform/qt/qt_http_server) parses the bytes and moves the answer; every
// decision about what to answer lies with the handler.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tw::platform {

struct HttpRequest {
    std::string method;  // "GET", "HEAD", ... as sent
    std::string path;    // percent-decoded path, "/fdsnws/station/1/query"
    std::string query;   // the raw text after '?', not decoded
    std::string peer;    // the client's address
    // Validators of a conditional request (If-None-Match,
    // If-Modified-Since); empty when not sent.
    std::string if_none_match = {};
    std::string if_modified_since = {};
};

// A body produced piece by piece, so that a large answer (the miniSEED of
// a day) never lies in memory whole. The transport pulls the next piece
// only when the client has taken the previous ones.
class BodySource {
public:
    virtual ~BodySource() = default;
    // Copies at most `size` bytes of the body to `data`: the count copied;
    // 0 at the end of the body.
    virtual std::size_t read(char* data, std::size_t size) = 0;
};

struct HttpResponse {
    int status = 200;
    std::string content_type = "text/plain; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;  // more headers
    // The body, when it is small enough to hold...
    std::string body;
    // ...or, when set, produced by this source: its length is not known
    // beforehand and the connection closes after it.
    std::unique_ptr<BodySource> source;
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// A short text answer: "404 Not Found\n\n" + `text`.
HttpResponse text_response(int status, const std::string& text);
// The reason phrase of a status code ("Not Found"); "Unknown" for others.
const char* status_phrase(int status);

}  // namespace tw::platform
