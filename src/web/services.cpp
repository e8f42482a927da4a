#include "web/services.h"

namespace tw::web {

namespace {

HttpResponse version_response(const char* version) {
    HttpResponse response;
    response.body = std::string(version) + "\n";
    return response;
}

}  // namespace

void add_fdsn_routes(Router& router, const WebContext& context) {
    router.add("/fdsnws/station/1/version",
               [](const HttpRequest&) { return version_response(station_service_version); });
    router.add("/fdsnws/dataselect/1/version",
               [](const HttpRequest&) { return version_response(dataselect_service_version); });
    (void)context;
}

}  // namespace tw::web
