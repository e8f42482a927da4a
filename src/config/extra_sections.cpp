#include "config/extra_sections.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace tw::config {

namespace {

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

}  // namespace

const std::string* ExtraSections::find(std::string_view section, std::string_view key) const {
    for (const Section& s : sections_) {
        if (!same_name(s.name, section)) continue;
        for (const Entry& e : s.entries) {
            if (same_name(e.key, key)) return &e.value;
        }
    }
    return nullptr;
}

void ExtraSections::set(std::string_view section, std::string_view key, std::string_view value) {
    auto s = std::find_if(sections_.begin(), sections_.end(),
                          [&](const Section& x) { return same_name(x.name, section); });
    if (s == sections_.end()) {
        if (value.empty()) return;
        sections_.push_back({std::string(section), {}});
        s = sections_.end() - 1;
    }
    auto e = std::find_if(s->entries.begin(), s->entries.end(),
                          [&](const Entry& x) { return same_name(x.key, key); });
    if (value.empty()) {
        if (e != s->entries.end()) s->entries.erase(e);
        if (s->entries.empty()) sections_.erase(s);
    } else if (e == s->entries.end()) {
        s->entries.push_back({std::string(key), std::string(value)});
    } else {
        e->value = value;
    }
}

std::string ExtraSections::text(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    const std::string* value = find(section, key);
    return value ? *value : std::string(fallback);
}

double ExtraSections::number(std::string_view section, std::string_view key, double fallback,
                             std::string* problem) const {
    const std::string* value = find(section, key);
    if (!value) return fallback;
    double result = 0;
    const char* first = value->data();
    const char* last = first + value->size();
    if (first != last && *first == '+') ++first;
    const auto [end, error] = std::from_chars(first, last, result);
    if (error == std::errc() && end == last && std::isfinite(result)) return result;
    if (problem) {
        *problem = "[" + std::string(section) + "] " + std::string(key) + "=" + *value +
                   " is not a number";
    }
    return fallback;
}

std::string ExtraSections::format() const {
    std::string out;
    for (const Section& s : sections_) {
        out += "[" + s.name + "]\r\n";
        for (const Entry& e : s.entries) out += e.key + "=" + e.value + "\r\n";
    }
    return out;
}

std::string extra_number_text(double value) {
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string("0");
}

}  // namespace tw::config
