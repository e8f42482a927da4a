#include "events/trigger_tuning.h"

#include "config/number_text.h"
#include "config/tables.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace tw::events {

namespace {

std::string key_of(std::string_view key, int channel) {
    std::string name(key);
    if (channel > 0) name += std::to_string(channel);
    return name;
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string value_text(double value) { return config::extra_number_text(value); }

}  // namespace

std::string tuning_key(std::string_view key, int channel) {
    return "[" + std::string(trigger_section) + "] " + key_of(key, channel);
}

TriggerTuning read_trigger_tuning(const config::ExtraSections& extra,
                                  std::vector<std::string>* problems) {
    TriggerTuning t;
    std::string problem;
    auto number = [&](std::string_view key, int channel, double fallback) {
        problem.clear();
        const double v = extra.number(trigger_section, key_of(key, channel), fallback, &problem);
        if (!problem.empty() && problems) problems->push_back(problem);
        return v;
    };
    for (int k = 1; k <= 4; ++k) {
        ChannelTuning& c = t.channel(k);
        c.min_duration = number("DURATION", k, c.min_duration);
        c.weight = number("WEIGHT", k, c.weight);
        const double order = number("ORDER", k, c.filter.order);
        c.filter.order = std::isfinite(order) && std::abs(order) < 1000 ? static_cast<int>(order) : 0;
        if (order != c.filter.order && problems)
            problems->push_back(tuning_key("ORDER", k) + "=" + extra.text(trigger_section, key_of("ORDER", k)) +
                                " is not a whole number");
        c.filter.low_corner = number("LOW", k, c.filter.low_corner);
        c.filter.high_corner = number("HIGH", k, c.filter.high_corner);
        const std::string kind = upper(extra.text(trigger_section, key_of("FILTER", k), "OFF"));
        if (kind == "HP") {
            c.filter.kind = FilterKind::high_pass;
        } else if (kind == "LP") {
            c.filter.kind = FilterKind::low_pass;
        } else if (kind == "BP") {
            c.filter.kind = FilterKind::band_pass;
        } else if (kind != "OFF" && problems) {
            problems->push_back(tuning_key("FILTER", k) + "=" + kind + " is not OFF, HP, LP or BP");
        }
    }
    t.coincidence_sum = number("COINCIDENCE", 0, t.coincidence_sum);
    t.coincidence_window = number("WINDOW", 0, t.coincidence_window);
    return t;
}

void write_trigger_tuning(const TriggerTuning& t, config::ExtraSections& extra) {
    const TriggerTuning d;
    auto put = [&](std::string_view key, int channel, double value, double fallback) {
        extra.set(trigger_section, key_of(key, channel), value == fallback ? std::string() : value_text(value));
    };
    for (int k = 1; k <= 4; ++k) {
        const ChannelTuning& c = t.channel(k);
        const ChannelTuning& dc = d.channel(k);
        put("DURATION", k, c.min_duration, dc.min_duration);
        extra.set(trigger_section, key_of("FILTER", k),
                  c.filter.kind == dc.filter.kind ? std::string() : filter_kind_text(c.filter.kind));
        put("ORDER", k, c.filter.order, dc.filter.order);
        put("LOW", k, c.filter.low_corner, dc.filter.low_corner);
        put("HIGH", k, c.filter.high_corner, dc.filter.high_corner);
        put("WEIGHT", k, c.weight, dc.weight);
    }
    put("COINCIDENCE", 0, t.coincidence_sum, d.coincidence_sum);
    put("WINDOW", 0, t.coincidence_window, d.coincidence_window);
}

std::vector<std::string> check_trigger_tuning(const TriggerTuning& tuning,
                                              const config::Settings& settings) {
    TriggerTuning copy = tuning;
    return drop_refused_tuning(copy, settings);
}

std::vector<std::string> drop_refused_tuning(TriggerTuning& t, const config::Settings& settings) {
    const TriggerTuning defaults;
    std::vector<std::string> problems;
    double recording_weight = 0;
    for (int k = 1; k <= 4; ++k) {
        ChannelTuning& c = t.channel(k);
        const config::ChannelSettings& cs = settings.channel(k);
        if (!(c.min_duration >= 0) || !std::isfinite(c.min_duration)) {
            problems.push_back(tuning_key("DURATION", k) + "=" + value_text(c.min_duration) +
                               ": a duration cannot be negative");
            c.min_duration = 0;
        }
        if (!cs.record_enabled) continue;
        const double rate = config::sps_value(cs.sps_code);
        if (const std::string p = filter_problem(c.filter, rate); !p.empty()) {
            const char* key = p.starts_with("order")         ? "ORDER"
                              : p.starts_with("high corner") ? "HIGH"
                              : p.starts_with("low corner")  ? "LOW"
                                                             : "FILTER";
            problems.push_back(tuning_key(key, k) +
                               " refused for channel " + std::to_string(k) + " at " +
                               value_text(rate) + " samples per second: " + p);
            c.filter.kind = FilterKind::off;
        }
        if (!(c.weight >= 0) || !std::isfinite(c.weight)) {
            problems.push_back(tuning_key("WEIGHT", k) + "=" + value_text(c.weight) +
                               ": a weight cannot be negative");
            c.weight = defaults.channel(k).weight;
        }
        recording_weight += c.weight;
    }
    const std::size_t before = problems.size();
    if (t.coincidence_sum < 0 || !std::isfinite(t.coincidence_sum)) {
        problems.push_back(tuning_key("COINCIDENCE") + "=" + value_text(t.coincidence_sum) +
                           ": the sum cannot be negative (0 is off)");
    } else if (t.coincidence()) {
        if (t.coincidence_sum > recording_weight)
            problems.push_back(tuning_key("COINCIDENCE") + "=" + value_text(t.coincidence_sum) +
                               " is more than the weights of the channels that record (" +
                               value_text(recording_weight) + "): no event could ever be declared");
        if (!(t.coincidence_window > 0) || !std::isfinite(t.coincidence_window))
            problems.push_back(tuning_key("WINDOW") + "=" + value_text(t.coincidence_window) +
                               ": the window must be longer than 0 s");
    }
    // A coincidence that cannot work is off: each channel declares its own.
    if (problems.size() > before) t.coincidence_sum = 0;
    return problems;
}

}  // namespace tw::events
