#include "web/services.h"

#include "stream/channel_codes.h"
#include "web/fdsn_dataselect.h"
#include "web/fdsn_station.h"
#include "web/web_settings.h"

#include <memory>
#include <set>

namespace tw::web {

namespace {

HttpResponse plain(std::string body, std::string type = "text/plain; charset=utf-8") {
    HttpResponse response;
    response.content_type = std::move(type);
    response.body = std::move(body);
    return response;
}

std::int64_t now_us(const platform::Clock& clock) {
    const auto t = clock.now();
    return stream::civil_time_us(t.year, t.month, t.day, t.hour, t.minute, t.second,
                                 t.millisecond * 1000);
}

}  // namespace

void add_fdsn_routes(Router& router, const WebContext& context) {
    // The services answer web pages of any origin too (the field's browser
    // clients ask from their own pages).
    auto add = [&router](std::string path, HttpHandler handler) {
        router.add(std::move(path), [handler](const HttpRequest& request) {
            HttpResponse response = handler(request);
            response.headers.emplace_back("Access-Control-Allow-Origin", "*");
            return response;
        });
    };
    // Settings that cannot be read are told in the event list once each.
    auto reported = std::make_shared<std::set<std::string>>();
    const std::int64_t started_us = now_us(context.clock);
    auto inventory = [&context, reported, started_us] {
        std::vector<std::string> problems;
        const SensorSettings sensors = read_sensor_settings(context.settings.extra, &problems);
        std::array<std::string, 4> run_codes;
        if (context.stream)
            for (int k = 1; k <= 4; ++k)
                run_codes[static_cast<std::size_t>(k - 1)] = context.stream->channel_code_of(k);
        Inventory inv = build_inventory(context.settings, sensors, context.codes, &run_codes);
        inv.start_us = stream::day_number(started_us) * 86400LL * 1000000;
        if (!context.archive_root.empty())
            if (const auto first = first_archive_day(context.archive_root, context.codes))
                inv.start_us = std::min(inv.start_us, *first);
        inv.problems.insert(inv.problems.end(), problems.begin(), problems.end());
        for (const auto& problem : inv.problems)
            if (reported->insert(problem).second)
                context.event_list.append("FDSN station: " + problem);
        return inv;
    };
    add("/fdsnws/station/1/query", [&context, inventory](const HttpRequest& request) {
        return station_query(parse_query(request.query), inventory(), now_us(context.clock));
    });
    add("/fdsnws/station/1/version",
               [](const HttpRequest&) { return plain(std::string(station_service_version) + "\n"); });
    add("/fdsnws/station/1/application.wadl",
               [](const HttpRequest&) { return plain(station_wadl(), "application/xml"); });
    auto reported_files = std::make_shared<std::set<std::string>>();
    Archive archive{context.archive_root, context.codes,
                    [&context, reported_files](const std::filesystem::path& file,
                                               const std::string& what) {
                        if (reported_files->insert(file.string()).second)
                            context.event_list.append("FDSN dataselect: day file " +
                                                      file.string() + " " + what +
                                                      "; its readable records are served");
                    }};
    add("/fdsnws/dataselect/1/query", [archive](const HttpRequest& request) {
        return dataselect_query(parse_query(request.query), archive);
    });
    add("/fdsnws/dataselect/1/version", [](const HttpRequest&) {
        return plain(std::string(dataselect_service_version) + "\n");
    });
    add("/fdsnws/dataselect/1/application.wadl",
               [](const HttpRequest&) { return plain(dataselect_wadl(), "application/xml"); });
}

}  // namespace tw::web
