#pragma once
// The route table of the station's HTTP server: each path (or every path
// under a prefix) has its handler. Only GET and HEAD are served; a HEAD
// request gets the headers of the GET answer (the transport leaves the body
// out). Other services add their routes here; the transport calls handle().

#include "platform/http.h"

#include <string>
#include <vector>

namespace tw::web {

using platform::HttpHandler;
using platform::HttpRequest;
using platform::HttpResponse;

class Router {
public:
    // `path` exactly ("/fdsnws/station/1/query").
    void add(std::string path, HttpHandler handler);
    // Every path that starts with `prefix` ("/api/"); an exact route wins,
    // then the longest prefix.
    void add_prefix(std::string prefix, HttpHandler handler);

    // The answer: 405 for a method other than GET and HEAD, 404 for a path
    // without a route, else the handler's.
    HttpResponse handle(const HttpRequest& request) const;

    // The paths with a route, for the index page and the 404 text.
    std::vector<std::string> paths() const;

private:
    struct Route {
        std::string path;
        bool prefix = false;
        HttpHandler handler;
    };
    std::vector<Route> routes_;
};

}  // namespace tw::web
