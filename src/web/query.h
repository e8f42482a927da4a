#pragma once
// The query of a request URL ("net=XX&sta=ST01&start=2024-03-05T12:00:00"):
// parameters in order, names and values percent-decoded ('+' is a space).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::web {

// A query longer than this is refused: the longest sensible request names a
// few dozen channels, far below it.
inline constexpr std::size_t max_query_length = 4096;
// So many parameters at most.
inline constexpr std::size_t max_query_parameters = 64;

struct QueryParameter {
    std::string name;
    std::string value;
};

struct Query {
    std::vector<QueryParameter> parameters;
    // Empty when the query is good; else what is wrong with it.
    std::string error;
    // The value of the first parameter called `name` (or one of the names
    // given); none when absent.
    std::optional<std::string> get(std::string_view name) const;
    std::optional<std::string> get(std::string_view name, std::string_view other) const;
};

Query parse_query(std::string_view raw);

}  // namespace tw::web
