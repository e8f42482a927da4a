#include "web/query.h"
#include "web/static_files.h"

#include <algorithm>

namespace tw::web {

namespace {

// False when an escape is cut short or not hexadecimal, or decodes to a
// control character (no parameter of ours holds one).
bool decode(std::string_view text, std::string& out) {
    std::string spaced(text);
    std::replace(spaced.begin(), spaced.end(), '+', ' ');
    auto decoded = percent_decode(spaced);
    if (!decoded || std::any_of(decoded->begin(), decoded->end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        }))
        return false;
    out = std::move(*decoded);
    return true;
}

}  // namespace

std::optional<std::string> Query::get(std::string_view name) const {
    for (const auto& p : parameters)
        if (p.name == name) return p.value;
    return std::nullopt;
}

std::optional<std::string> Query::get(std::string_view name, std::string_view other) const {
    for (const auto& p : parameters)
        if (p.name == name || p.name == other) return p.value;
    return std::nullopt;
}

Query parse_query(std::string_view raw) {
    Query query;
    if (raw.size() > max_query_length) {
        query.error = "the query is longer than " + std::to_string(max_query_length) + " characters";
        return query;
    }
    std::size_t at = 0;
    while (at < raw.size()) {
        const std::size_t end = std::min(raw.find('&', at), raw.size());
        const std::string_view item = raw.substr(at, end - at);
        at = end + 1;
        if (item.empty()) continue;
        if (query.parameters.size() == max_query_parameters) {
            query.error = "more than " + std::to_string(max_query_parameters) + " parameters";
            query.parameters.clear();
            return query;
        }
        const std::size_t equals = item.find('=');
        QueryParameter parameter;
        const bool good =
            decode(item.substr(0, equals), parameter.name) &&
            (equals == std::string_view::npos || decode(item.substr(equals + 1), parameter.value));
        if (!good || parameter.name.empty()) {
            query.error = "cannot read the parameter '" + std::string(item.substr(0, 80)) + "'";
            query.parameters.clear();
            return query;
        }
        query.parameters.push_back(std::move(parameter));
    }
    return query;
}

}  // namespace tw::web
