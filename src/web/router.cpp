#include "web/router.h"

namespace tw::web {

void Router::add(std::string path, HttpHandler handler) {
    routes_.push_back({std::move(path), false, std::move(handler)});
}

void Router::add_prefix(std::string prefix, HttpHandler handler) {
    routes_.push_back({std::move(prefix), true, std::move(handler)});
}

HttpResponse Router::handle(const HttpRequest& request) const {
    if (request.method != "GET" && request.method != "HEAD") {
        auto response = platform::text_response(405, "Only GET and HEAD are served here.");
        response.headers.emplace_back("Allow", "GET, HEAD");
        return response;
    }
    const Route* best = nullptr;
    for (const auto& route : routes_) {
        if (!route.prefix) {
            if (route.path == request.path) {
                best = &route;
                break;
            }
        } else if (request.path.starts_with(route.path) &&
                   (!best || route.path.size() > best->path.size())) {
            best = &route;
        }
    }
    if (!best) return platform::text_response(404, "Nothing is served at " + request.path + ".");
    return best->handler(request);
}

std::vector<std::string> Router::paths() const {
    std::vector<std::string> result;
    for (const auto& route : routes_) result.push_back(route.path);
    return result;
}

}  // namespace tw::web
