#pragma once
// One HTTP request as the station's web routes see it, and the answer they
// give. The transport (platform/qt) fills the request from the wire and
// sends the response; everything between is plain C++ and tested without a
// socket.

#include <string>
#include <utility>
#include <vector>

namespace tw::web {

struct Request {
    std::string method = "GET";
    std::string path;   // as sent, still percent-encoded, without the query
    std::string query;  // after '?', still percent-encoded
    // Validators of a conditional request; empty when not sent.
    std::string if_none_match;
    std::string if_modified_since;
};

struct Response {
    int status = 200;
    std::string content_type = "text/plain; charset=utf-8";
    std::string body;
    // Further header lines (ETag, Last-Modified, Cache-Control, ...).
    std::vector<std::pair<std::string, std::string>> headers;

    void add_header(std::string name, std::string value) {
        headers.emplace_back(std::move(name), std::move(value));
    }
    const std::string* header(std::string_view name) const {
        for (const auto& [key, value] : headers)
            if (key == name) return &value;
        return nullptr;
    }
};

// A short text answer: "404 Not Found" pages and the like. The text ends
// in a line feed.
Response text_response(int status, std::string text);

}  // namespace tw::web
