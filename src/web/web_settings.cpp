#include "web/web_settings.h"

#include <cmath>

namespace tw::web {

namespace {

void note(std::vector<std::string>* problems, std::string text) {
    if (problems) problems->push_back(std::move(text));
}

}  // namespace

WebSettings read_web_settings(const config::ExtraSections& extra, std::vector<std::string>* problems) {
    WebSettings settings;
    if (extra.find("WEB", "PORT")) {
        std::string problem;
        const double port = extra.number("WEB", "PORT", -1, &problem);
        if (!problem.empty()) {
            note(problems, problem);
        } else if (port < 0 || port > 65535 || port != std::floor(port)) {
            note(problems, "[WEB] PORT=" + extra.text("WEB", "PORT") + " is not a TCP port 0 to 65535");
        } else {
            settings.port = static_cast<int>(port);
        }
    }
    settings.bind = extra.text("WEB", "BIND");
    return settings;
}

SensorSettings read_sensor_settings(const config::ExtraSections& extra,
                                    std::vector<std::string>* problems) {
    SensorSettings settings;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string digit = std::to_string(i + 1);
        for (auto [key, value] : {std::pair{"PERIOD" + digit, &settings.natural_period[i]},
                                  std::pair{"DAMPING" + digit, &settings.damping[i]}}) {
            std::string problem;
            const double v = extra.number("SENSOR", key, 0, &problem);
            if (!problem.empty()) {
                note(problems, problem);
            } else if (!(v >= 0) || v > 1e4) {
                note(problems, "[SENSOR] " + key + "=" + extra.text("SENSOR", key) +
                                   " must be a number from 0 to 10000");
            } else {
                *value = v;
            }
        }
    }
    return settings;
}

void write_web_settings(config::ExtraSections& extra, const WebSettings& settings) {
    extra.set("WEB", "PORT", settings.port ? std::to_string(*settings.port) : "");
    extra.set("WEB", "BIND", settings.bind);
}

void write_sensor_settings(config::ExtraSections& extra, const SensorSettings& settings) {
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string digit = std::to_string(i + 1);
        const double period = settings.natural_period[i], damping = settings.damping[i];
        extra.set("SENSOR", "PERIOD" + digit, period > 0 ? config::extra_number_text(period) : "");
        extra.set("SENSOR", "DAMPING" + digit, damping > 0 ? config::extra_number_text(damping) : "");
    }
}

}  // namespace tw::web
